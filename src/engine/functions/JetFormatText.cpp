// Format's text codes: @ (a character or a space), & (a character or nothing), < and > for letter case,
// ! to fill the placeholders from the left.

#include "engine/functions/JetFormatText.h"

#include <vector>

#include "engine/functions/JetFunctionSupport.h"

namespace corv::jetfn {

namespace {

bool IsTextCode(char c) {
    return c == '@' || c == '&' || c == '<' || c == '>' || c == '!';
}

struct TextItem {
    enum Kind { Space, Nothing, Literal } kind = Literal;  // a placeholder's filler when it gets no character
    std::string text;
};

}  // namespace

bool IsTextPattern(std::string_view f) {
    return HasCodeOutsideLiterals(f, [f](std::size_t i) { return IsTextCode(f[i]); });
}

std::string FormatText(std::string_view text, std::string_view section) {
    std::vector<TextItem> items;
    size_t places = 0;
    bool fromLeft = false;
    int letterCase = 0;  // -1 lower, 1 upper; the last marker written wins
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (c == '@' || c == '&') {
            items.push_back({c == '@' ? TextItem::Space : TextItem::Nothing, {}});
            ++places;
        } else if (c == '<' || c == '>') {
            letterCase = c == '<' ? -1 : 1;
        } else if (c == '!') {
            fromLeft = true;
        } else if (c == '\\' && i + 1 < section.size()) {
            items.push_back({TextItem::Literal, std::string(1, section[++i])});
        } else if (c == '"') {
            size_t close = section.find('"', i + 1);
            if (close == std::string_view::npos) close = section.size();
            items.push_back({TextItem::Literal, std::string(section.substr(i + 1, close - i - 1))});
            i = close;
        } else {
            items.push_back({TextItem::Literal, std::string(1, c)});
        }
    }

    std::u32string chars = Decode(text);
    if (letterCase != 0)
        for (char32_t& ch : chars) ch = letterCase < 0 ? FoldLower(ch) : FoldUpper(ch);
    // The placeholders take the last characters, or the first under '!'; the characters no placeholder
    // takes come before everything, or after it: none is lost.
    const size_t surplus = chars.size() > places ? chars.size() - places : 0;
    const size_t missing = places > chars.size() ? places - chars.size() : 0;
    // Literals are copied as bytes, so a character of several bytes written unquoted stays whole.
    std::string out;
    size_t next = fromLeft ? 0 : surplus;  // the character the next placeholder takes
    if (!fromLeft) out = Encode(std::u32string_view(chars).substr(0, surplus));
    size_t place = 0;
    for (const TextItem& it : items) {
        if (it.kind == TextItem::Literal) {
            out += it.text;
            continue;
        }
        // Short of characters, the first placeholders go without (the last under '!').
        const bool without = fromLeft ? place >= chars.size() : place < missing;
        ++place;
        if (!without)
            out += Encode(std::u32string_view(chars).substr(next++, 1));
        else if (it.kind == TextItem::Space)
            out += ' ';
    }
    if (fromLeft) out += Encode(std::u32string_view(chars).substr(next));
    return out;
}

}  // namespace corv::jetfn
