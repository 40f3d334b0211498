#include "report/PageSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace corv::test {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The serializer writes &amp; &lt; &gt; &quot; and &nbsp; alone.
std::string Resolved(const std::string& s) {
    static const std::pair<const char*, const char*> refs[] = {{"&amp;", "&"}, {"&lt;", "<"},
                                                               {"&gt;", ">"},  {"&quot;", "\""},
                                                               {"&#39;", "'"}, {"&nbsp;", "\xC2\xA0"}};
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool matched = false;
        if (s[i] == '&')
            for (const auto& [ref, text] : refs)
                if (s.compare(i, std::strlen(ref), ref) == 0) {
                    out += text;
                    i += std::strlen(ref);
                    matched = true;
                    break;
                }
        if (!matched) out += s[i++];
    }
    return out;
}

// Text with its tags dropped.
std::string TextOf(const std::string& markup) {
    std::string text;
    bool inTag = false;
    for (char c : markup) {
        if (c == '<') inTag = true;
        if (!inTag) text += c;
        if (c == '>') inTag = false;
    }
    return Resolved(text);
}

// The cells of one row's markup.
std::vector<std::string> CellsOf(const std::string& row) {
    std::vector<std::string> cells;
    for (std::size_t at = 0;;) {
        const std::size_t th = row.find("<th", at), td = row.find("<td", at);
        const std::size_t open = std::min(th, td);
        if (open == std::string::npos) break;
        const std::string closing = open == th ? "</th>" : "</td>";
        const std::size_t start = row.find('>', open) + 1;
        const std::size_t end = row.find(closing, start);
        cells.push_back(TextOf(row.substr(start, end - start)));
        at = end + closing.size();
    }
    return cells;
}

}  // namespace

ProgramRun RunChromium(const std::string& page, const std::vector<std::string>& extra,
                       const std::string& folder) {
    static int runs = 0;
    const std::string profile = folder + "/chromium-profile-" + std::to_string(++runs);
    std::filesystem::create_directories(profile);
    std::vector<std::string> args = {"--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--no-first-run",
                                     "--disable-quic",
                                     "--user-data-dir=" + profile};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("file://" + page);
    return RunProgram(kChromium, args, folder);
}

std::map<std::string, DomTable> TablesOf(const std::string& dom) {
    std::map<std::string, DomTable> tables;
    for (std::size_t at = dom.find("<table"); at != std::string::npos; at = dom.find("<table", at + 1)) {
        const std::size_t idAt = dom.find("id=\"", at);
        const std::size_t tagEnd = dom.find('>', at);
        if (idAt == std::string::npos || idAt > tagEnd) continue;
        const std::string id = dom.substr(idAt + 4, dom.find('"', idAt + 4) - idAt - 4);
        const std::size_t end = dom.find("</table>", at);
        const std::string table = dom.substr(at, end - at);
        DomTable& t = tables[id];
        const std::size_t caption = table.find("<caption");
        if (caption != std::string::npos) {
            const std::size_t start = table.find('>', caption) + 1;
            t.caption = TextOf(table.substr(start, table.find("</caption>", start) - start));
        }
        const std::size_t head = table.find("<thead"), body = table.find("<tbody");
        t.header = CellsOf(table.substr(head, body - head));
        for (std::size_t r = table.find("<tr", body); r != std::string::npos; r = table.find("<tr", r + 1))
            t.rows.push_back(CellsOf(table.substr(r, table.find("</tr>", r) - r)));
    }
    return tables;
}

std::vector<std::string> ListItemsOf(const std::string& dom, const std::string& listClass) {
    std::vector<std::string> items;
    const std::string open = "<ul class=\"" + listClass + "\">";
    for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
        const std::size_t end = dom.find("</ul>", at);
        for (std::size_t li = dom.find("<li>", at); li < end; li = dom.find("<li>", li + 1))
            items.push_back(TextOf(dom.substr(li + 4, dom.find("</li>", li) - li - 4)));
    }
    return items;
}

std::vector<DomTag> TagsOf(const std::string& dom) {
    std::vector<DomTag> tags;
    for (std::size_t i = 0; i < dom.size(); ++i) {
        if (dom[i] != '<' || i + 1 >= dom.size() || !std::isalpha(static_cast<unsigned char>(dom[i + 1])))
            continue;
        DomTag tag;
        std::size_t j = i + 1;
        while (j < dom.size() && !std::isspace(static_cast<unsigned char>(dom[j])) && dom[j] != '>' &&
               dom[j] != '/')
            tag.name += static_cast<char>(std::tolower(static_cast<unsigned char>(dom[j++])));
        // Attributes: name, or name="value" with the value quoted as the serializer always does.
        while (j < dom.size() && dom[j] != '>') {
            if (std::isspace(static_cast<unsigned char>(dom[j])) || dom[j] == '/') {
                ++j;
                continue;
            }
            std::string name;
            while (j < dom.size() && dom[j] != '=' && dom[j] != '>' &&
                   !std::isspace(static_cast<unsigned char>(dom[j])))
                name += dom[j++];
            std::string value;
            if (j < dom.size() && dom[j] == '=') {
                const std::size_t close = dom.find('"', j + 2);
                value = Resolved(dom.substr(j + 2, close - j - 2));
                j = close + 1;
            }
            tag.attributes.emplace_back(Lower(name), value);
        }
        tags.push_back(std::move(tag));
        i = j;
    }
    return tags;
}

std::vector<std::string> PdfPages(const std::string& pdf, const std::string& folder) {
    const std::string text = folder + "/page.txt";
    const ProgramRun run = RunProgram(kPdfToText, {"-layout", "-enc", "UTF-8", pdf, text}, folder);
    if (run.code != 0) return {};
    // Pages end with a form feed.
    std::vector<std::string> pages;
    std::istringstream all(FileBytes(text));
    for (std::string page; std::getline(all, page, '\f');) pages.push_back(page);
    if (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
    return pages;
}

}  // namespace corv::test
