// The report's web page as corvidel-report --format html writes it, opened in a real browser: the figures of
// its tables, its printing, and that it stays inside itself whatever the auction's names hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "report/PageSupport.h"
#include "report/Report.h"
#include "report/ReportHtml.h"
#include "report/WatchList.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;

// Long enough to wrap in print, and markup if it were not escaped.
const std::string kHostile =
    "<img src=x onerror=alert(1)> & \"Sons\" O'Neil Spectrum Holdings of the Far Northern Territories";

std::string NonSpace(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

// A JSON value as the page shows it: a number grouped by thousands and rounded (amounts to the cent, prices
// to four decimals), "-" for none, yes or no.
void ExpectShown(const std::string& shown, const Json& v, const std::string& what) {
    if (v.IsNumber()) {
        static const std::regex grouped(R"(-?\d{1,3}(,\d{3})*(\.\d+)?)");
        EXPECT_TRUE(std::regex_match(shown, grouped)) << what << ": " << shown;
        std::string plain = shown;
        std::erase(plain, ',');
        EXPECT_NEAR(std::strtod(plain.c_str(), nullptr), v.Number(), 0.005) << what;
        return;
    }
    EXPECT_EQ(shown, v.IsNull() ? "-" : v.IsString() ? v.String() : v.Bool() ? "yes" : "no") << what;
}

class PageTest : public ::testing::Test {
  protected:
    void SetUp() override { CORV_NEED_FILE(kChromium); }

    ProgramRun Report(std::vector<std::string> args) {
        return RunProgram(CORVIDEL_REPORT_TOOL, std::move(args), folder.Path());
    }
    // The page of auction for args, written to a file of its own.
    std::string Page(const std::string& auction, std::vector<std::string> args) {
        const std::string page = folder.File("page" + std::to_string(++pages_) + ".html");
        args.insert(args.begin(), auction);
        args.insert(args.end(), {"--format", "html", "--output", page});
        const ProgramRun run = Report(args);
        EXPECT_EQ(run.code, 0) << run.err;
        return page;
    }
    std::string Dom(const std::string& page) {
        const ProgramRun run = RunChromium(page, {"--dump-dom"}, folder.Path());
        EXPECT_EQ(run.code, 0) << run.err;
        return run.out;
    }
    // The page's tables in the browser against the JSON of the same round.
    void ExpectFiguresOfTheJson(const std::string& auction, const std::vector<std::string>& args) {
        SCOPED_TRACE(auction + " " + (args.empty() ? "" : args[1]));
        std::vector<std::string> json = args;
        json.insert(json.begin(), auction);
        json.insert(json.end(), {"--format", "json"});
        const ProgramRun run = Report(json);
        ASSERT_EQ(run.code, 0) << run.err;
        const Json doc = Json::Parse(run.out);
        const std::string dom = Dom(Page(auction, args));
        const auto tables = TablesOf(dom);

        const ProgramRun alerts =
            Report({auction, "--alerts", "--round", std::to_string(static_cast<int>(doc["round"].Number())),
                    "--format", "json"});
        ASSERT_EQ(alerts.code, 0) << alerts.err;
        std::vector<std::string> texts;
        const Json alertsDoc = Json::Parse(alerts.out);
        for (const Json& a : alertsDoc["alerts"].Items()) texts.push_back(a["text"].String());
        EXPECT_EQ(ListItemsOf(dom, "alerts"), texts);

        // The totals in order, a group's members in its place; a figure there is none of is left out.
        std::vector<std::pair<std::string, Json>> totals;
        for (const auto& [key, value] : doc["totals"].Object()) {
            if (value.IsObject())
                totals.insert(totals.end(), value.Object().begin(), value.Object().end());
            else if (!value.IsNull())
                totals.emplace_back(key, value);
        }
        ASSERT_EQ(tables.count("t-totals"), 1u);
        const DomTable& shownTotals = tables.at("t-totals");
        ASSERT_EQ(shownTotals.rows.size(), totals.size());
        for (std::size_t i = 0; i < totals.size(); ++i)
            ExpectShown(shownTotals.rows[i].back(), totals[i].second, totals[i].first);

        for (const char* name : {"markets", "bidders", "changes", "eligibility", "rounds"}) {
            const auto shown = tables.find(std::string("t-") + name);
            if (doc[name].IsNull()) {
                EXPECT_EQ(shown, tables.end()) << name;
                continue;
            }
            ASSERT_NE(shown, tables.end()) << name;
            std::vector<Json> rows = doc[name].Items();
            if (std::string(name) == "markets")
                std::stable_sort(rows.begin(), rows.end(), [](const Json& a, const Json& b) {
                    return a["high"].Number() > b["high"].Number();
                });
            ASSERT_EQ(shown->second.rows.size(), rows.size()) << name;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                auto cells = rows[r].Object();
                // Without market data the page leaves out the $/MHz-pop column.
                if (doc["marketData"].IsNull())
                    std::erase_if(cells, [](const auto& cell) { return cell.first == "pricePerMHzPop"; });
                ASSERT_EQ(shown->second.rows[r].size(), cells.size()) << name;
                for (std::size_t c = 0; c < cells.size(); ++c)
                    ExpectShown(shown->second.rows[r][c], cells[c].second,
                                std::string(name) + " row " + std::to_string(r) + " " + cells[c].first);
            }
        }
    }

    TempFolder folder;
    int pages_ = 0;
};

// Fixture auctions whose second bidder is named kHostile.
class FixturePageTest : public PageTest {
  protected:
    // longNames: every other bidder's name too is long enough to wrap in print.
    std::string Build(fixture::AuctionOptions options, bool longNames = false) {
        const std::string path = BuildAuctionDatabase(folder.Path(), options);
        const auto literal = [](std::string text) {
            for (std::size_t i = text.find('\''); i != std::string::npos; i = text.find('\'', i + 2))
                text.insert(i, "'");
            return "'" + text + "'";
        };
        for (const char* table : {"Markets and Bidders", "Bidder Eligibility"})
            RunSqlite(path, std::string("UPDATE \"") + table +
                                "\" SET \"Bidder Name\" = " + literal(kHostile) +
                                " WHERE \"Bidder Name\" = " + literal(fixture::BidderNames(options)[1]));
        // A watch list whose alerts name the hostile bidder.
        report::WatchList watch;
        report::WatchRule lead, high;
        lead.when = report::WatchWhen::GainsOrLosesLead;
        lead.bidder = kHostile;
        high.when = report::WatchWhen::NewHighBid;
        high.market = fixture::MarketNames(options)[0];
        watch.rules = {lead, high};
        report::WriteWatchList(report::WatchListPath(path), watch);
        if (longNames)
            for (const char* table : {"Markets and Bidders", "Bidder Eligibility"})
                RunSqlite(path, std::string("UPDATE \"") + table +
                                    "\" SET \"Bidder Name\" = \"Bidder Name\" || ' Spectrum Holdings and "
                                    "Partners of the Far Northern Territories' WHERE \"Bidder Name\" <> " +
                                    literal(kHostile));
        return path;
    }
};

TEST_F(FixturePageTest, TheBrowsersTablesHoldTheFiguresOfTheJson) {
    fixture::AuctionOptions options;
    options.rounds = 5;
    options.bidsPerRound = 30;
    const std::string path = Build(options);
    ExpectFiguresOfTheJson(path, {});
    AddMarketData(path, "Sizes", RoundReference::FromFile(path).Licences());
    ExpectFiguresOfTheJson(path, {"--round", "4", "--since", "1"});
}

TEST_F(PageTest, TheBrowsersTablesHoldTheFiguresOfTheJsonForTheJetSamples) {
    for (const std::string& file : JetSampleRounds()) CORV_NEED_FILE(file);
    const std::string path = ImportJetSampleAuction(folder.Path());
    ASSERT_FALSE(path.empty());
    ExpectFiguresOfTheJson(path, {});
    ExpectFiguresOfTheJson(path, {"--round", "5", "--since", "1"});
}

// Markup that fetches, runs or leads out of the page.
void ExpectSelfContained(const std::string& markup) {
    for (const DomTag& tag : TagsOf(markup)) {
        for (const char* outside :
             {"script", "img", "image", "link", "iframe", "object", "embed", "use", "base"})
            EXPECT_NE(tag.name, outside);
        for (const auto& [name, value] : tag.attributes) {
            EXPECT_TRUE(name != "src" && name != "srcset" && name.rfind("on", 0) != 0)
                << tag.name << " " << name;
            EXPECT_EQ(value.find("url("), std::string::npos) << tag.name << " " << name;
            if (name.find("href") != std::string::npos) {
                EXPECT_EQ(value.substr(0, 1), "#");
            }
        }
    }
    const std::size_t style = markup.find("<style>");
    const std::string css = markup.substr(style, markup.find("</style>") - style);
    EXPECT_EQ(css.find("url("), std::string::npos);
    EXPECT_EQ(css.find("@import"), std::string::npos);
}

TEST_F(FixturePageTest, NothingOutsideThePageIsReferredToAndAHostileNameStaysText) {
    fixture::AuctionOptions options;
    options.rounds = 3;
    const std::string page = Page(Build(options), {});
    ExpectSelfContained(FileBytes(page));
    const std::string dom = Dom(page);
    ExpectSelfContained(dom);
    const auto bidders = TablesOf(dom).at("t-bidders").rows;
    EXPECT_TRUE(std::any_of(bidders.begin(), bidders.end(),
                            [](const std::vector<std::string>& row) { return row[0] == kHostile; }));
    const auto alerts = ListItemsOf(dom, "alerts");
    EXPECT_TRUE(std::any_of(alerts.begin(), alerts.end(), [](const std::string& alert) {
        return alert.find(kHostile) != std::string::npos;
    }));
}

// Printed to PDF: every section's heading is in the text, and no table row is cut across a page. The check
// on rows: pdftotext -layout writes a page's text line by line, so a row whole on one page gives its cells'
// characters as one unbroken stretch of that page's text (its wrapped cells' further lines included),
// while a row cut by a page break has the page's end, and the header repeated on the next page, inside it
// or its characters on two pages. So from each row's first cell on, as many characters as the row holds
// (blanks aside) must be the row's own, all on one page. Each page a table's rows go on to repeats its
// header.
TEST_F(FixturePageTest, PrintedEverySectionIsThereAndNoRowIsCutAcrossAPage) {
    CORV_NEED_FILE(kPdfToText);
    fixture::AuctionOptions options;
    options.rounds = 4;
    options.markets = 70;
    options.bidsPerRound = 60;
    const std::string path = Build(options, true);
    const std::string page = Page(path, {"--since", "0"});
    const std::string pdf = folder.File("page.pdf");
    const ProgramRun print =
        RunChromium(page, {"--print-to-pdf=" + pdf, "--no-pdf-header-footer"}, folder.Path());
    ASSERT_EQ(print.code, 0) << print.err;
    const std::vector<std::string> pages = PdfPages(pdf, folder.Path());
    ASSERT_GT(pages.size(), 2u);

    struct Mark {
        char c;
        std::size_t page;
    };
    std::vector<Mark> text;
    std::string flat;
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (char c : NonSpace(pages[p])) {
            text.push_back({c, p});
            flat += c;
        }
    const auto a = report::ReadReportAuction(path);
    const report::RoundReport r = report::BuildReport(a.history, fs::path(path).filename(), a.rounds.back(),
                                                      0, standings::Measure::Gross);
    for (const std::string& title :
         report::HtmlSectionTitles(r, report::PageExtras(path, *a.history, r.round)))
        EXPECT_NE(flat.find(NonSpace(title)), std::string::npos) << title;

    const auto tables = TablesOf(Dom(page));
    for (const char* id : {"t-changes", "t-markets", "t-bidders"}) {
        const DomTable& table = tables.at(id);
        std::size_t at = flat.find(NonSpace(table.caption));
        ASSERT_NE(at, std::string::npos) << table.caption;
        std::set<std::size_t> rowPages;
        for (const auto& row : table.rows) {
            std::string cells;
            for (const auto& cell : row) cells += NonSpace(cell);
            // A cell may wrap: its first word begins the row's stretch.
            std::string first;
            std::istringstream(row.front()) >> first;
            at = flat.find(first, at);
            ASSERT_NE(at, std::string::npos) << id << " " << row.front();
            ASSERT_LE(at + cells.size(), flat.size());
            std::string got = flat.substr(at, cells.size());
            std::sort(got.begin(), got.end());
            std::sort(cells.begin(), cells.end());
            EXPECT_EQ(got, cells) << id << ": a row of " << row.front() << " is not whole";
            EXPECT_EQ(text[at].page, text[at + cells.size() - 1].page) << id << ": a row cut across pages";
            rowPages.insert(text[at].page);
            at += cells.size();
        }
        for (std::size_t p : rowPages) {
            const std::string onPage = NonSpace(pages[p]);
            for (const auto& heading : table.header) {
                std::istringstream words(heading);
                for (std::string word; words >> word;)
                    EXPECT_NE(onPage.find(word), std::string::npos)
                        << id << " page " << p + 1 << " lacks " << word;
            }
        }
    }
}

}  // namespace
}  // namespace corv::test
