// Tables from text files: the reading and detection, the writing into the auction, and corvidel-import
// --table.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "store/Auction.h"
#include "store/TextTableImport.h"
#include "store/store_support.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"

using namespace corv;
using namespace corv::store;
using corv::storetest::Query;
using corv::storetest::Rows;

namespace {

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TextScan Scan(const std::string& bytes) {
    const TextFormat format = DetectFormat(bytes);
    return ScanText(DecodeText(bytes, format.encoding), format);
}

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

class TextTableTest : public ::testing::Test {
  protected:
    void SetUp() override { auction_ = test::BuildAuctionDatabase(folder_.Path(), {}); }
    void TearDown() override { session_.Close(); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = folder_.File(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // The import as both callers run it, over every row.
    std::size_t Import(const std::string& bytes, const std::string& table, bool skip = false,
                       bool replace = false, const TextProgress& progress = {}) {
        Auction& auction = session_.Current() ? *session_.Current() : session_.Open(auction_);
        const TextFormat format = DetectFormat(bytes);
        const std::string text = DecodeText(bytes, format.encoding);
        TextTableRequest request{table, ScanText(text, format).columns, skip, replace};
        return WriteTextTable(auction, text, format, request, progress);
    }
    Rows Table(const std::string& table) {
        return Query(auction_, "SELECT * FROM \"" + table + "\" ORDER BY rowid");
    }
    ToolRun Tool(const QStringList& args) {
        test::TestApp();
        QProcess p;
        p.start(QStringLiteral(CORVIDEL_IMPORT_TOOL), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }

    test::TempFolder folder_;
    std::string auction_;
    AuctionSession session_;
};

}  // namespace

TEST(TextTableRead, EachDelimiterIsDetected) {
    for (const char d : {',', ';', '\t'}) {
        const std::string text =
            std::string("Market") + d + "Population\nMTA001" + d + "12\nMTA002" + d + "7\n";
        const TextFormat format = DetectFormat(text);
        EXPECT_EQ(format.delimiter, d);
        EXPECT_TRUE(format.header);
        const TextScan scan = ScanText(text, format);
        EXPECT_EQ(scan.columns, (std::vector<TextColumn>{{"Market", ColumnType::Text},
                                                         {"Population", ColumnType::WholeNumber}}));
        EXPECT_EQ(scan.preview, (std::vector<std::vector<std::string>>{{"MTA001", "12"}, {"MTA002", "7"}}));
    }
}

TEST(TextTableRead, QuotedFieldsHoldDelimitersLineBreaksAndDoubledQuotes) {
    const TextScan scan = Scan("a,b\n\"x, y\",\"two\r\nlines\"\n\"say \"\"hi\"\"\", z \n");
    EXPECT_EQ(scan.preview,
              (std::vector<std::vector<std::string>>{{"x, y", "two\r\nlines"}, {"say \"hi\"", " z "}}));
}

TEST(TextTableRead, EncodingsAreDetectedAndDecoded) {
    const std::string bom = "\xEF\xBB\xBFName\nCaf\xC3\xA9\n";
    EXPECT_EQ(DetectFormat(bom).encoding, TextEncoding::Utf8Bom);
    EXPECT_EQ(Scan(bom).columns.at(0).name, "Name");
    const std::string cp1252 = "Name\nCaf\xE9 \x80\n";
    EXPECT_EQ(DetectFormat(cp1252).encoding, TextEncoding::Windows1252);
    EXPECT_EQ(Scan(cp1252).preview.at(0).at(0), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(DetectFormat("Name\nCaf\xC3\xA9\n").encoding, TextEncoding::Utf8);
}

TEST(TextTableRead, TypesAreTheNarrowestTakingEveryCellAndAHeaderIsOnlyNames) {
    const std::string text =
        "Whole,Number,Date,Account,Mixed\n"
        "1,2,2024-01-05,007,1\n"
        ",2.5,1/31/2024 13:05,12,x\n"
        "-3,1e3,,,2\n";
    const TextScan scan = Scan(text);
    std::vector<ColumnType> types;
    for (const TextColumn& c : scan.columns) types.push_back(c.type);
    EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::WholeNumber, ColumnType::Number, ColumnType::Date,
                                              ColumnType::Text, ColumnType::Text}));
    EXPECT_FALSE(DetectFormat("1,2\n3,4\n").header);
    const TextScan unnamed = Scan("x,x\n1,2\n");
    EXPECT_EQ(unnamed.columns.at(1).name, "Column 2");
}

TEST(TextTableRead, RaggedRowsAreListedByTheLineTheyStartOn) {
    const TextScan scan = Scan("a,b\n1,\"two\nlines\"\n3\n\n4,5,6\n7,8\n");
    EXPECT_EQ(scan.raggedLines, (std::vector<int>{4, 6}));
    EXPECT_EQ(scan.rows, 2u);
}

TEST_F(TextTableTest, ATableIsWrittenTypedAndRegistered) {
    EXPECT_EQ(Import("Market;Population;Opened\nMTA001;12;2024-01-05\nMTA002;;\n", "Markets"), 2u);
    EXPECT_EQ(Table("Markets"),
              (Rows{{"MTA001", "12", "2024-01-05 00:00:00"}, {"MTA002", "<null>", "<null>"}}));
    EXPECT_EQ(Query(auction_, "SELECT typeof(Population) FROM Markets LIMIT 1"), (Rows{{"integer"}}));
    EXPECT_EQ(Query(auction_, "SELECT COUNT(*) FROM sysTables WHERE TableName = 'Markets'"), (Rows{{"1"}}));
}

TEST_F(TextTableTest, RaggedRowsRefuseUnlessSkipped) {
    const std::string text = "a,b\n1,2\n3\n4,5\n";
    try {
        Import(text, "T");
        ADD_FAILURE() << "a ragged row was written";
    } catch (const CorvError& e) {
        EXPECT_EQ(e.number(), kTextRowsRagged);
    }
    EXPECT_EQ(Query(auction_, "SELECT name FROM sqlite_master WHERE name = 'T'"), Rows{});
    EXPECT_EQ(Import(text, "T", true), 2u);
    EXPECT_EQ(Table("T"), (Rows{{"1", "2"}, {"4", "5"}}));
}

TEST_F(TextTableTest, AnExistingNameIsReplacedOnlyWhenAskedAndASuppliedOneNever) {
    Import("a\n1\n", "Mine");
    EXPECT_EQ(StatusOfTableName(*session_.Current(), "mine"), TableNameStatus::Exists);
    EXPECT_THROW(Import("b\n2\n", "Mine"), CorvError);
    EXPECT_EQ(Table("Mine"), (Rows{{"1"}}));
    Import("b\n2\n", "Mine", false, true);
    EXPECT_EQ(Table("Mine"), (Rows{{"2"}}));
    EXPECT_EQ(Query(auction_, "SELECT COUNT(*) FROM sysTables WHERE TableName = 'Mine'"), (Rows{{"1"}}));

    const std::string supplied = session_.Current()->SuppliedTables().at(0);
    EXPECT_EQ(StatusOfTableName(*session_.Current(), supplied), TableNameStatus::Reserved);
    try {
        Import("a\n1\n", supplied, false, true);
        ADD_FAILURE() << "a supplied table was replaced";
    } catch (const CorvError& e) {
        EXPECT_EQ(e.number(), kTableNameReserved);
    }
}

TEST_F(TextTableTest, ACancelledImportLeavesTheAuctionByteForByte) {
    session_.Open(auction_);
    session_.Close();  // the file as the program leaves it
    const std::string before = Bytes(auction_);
    std::string text = "n,x\n";
    for (int i = 0; i < 50000; ++i) text += std::to_string(i) + ",row\n";
    EXPECT_THROW(Import(text, "Big", false, false, [](double done) { return done < 0.5; }), CorvError);
    session_.Close();
    EXPECT_EQ(Bytes(auction_), before);
}

TEST_F(TextTableTest, ToolImportsRefusesAndSkipsAsItsHelpSays) {
    const QString db = QString::fromStdString(auction_);
    const std::string ragged = WriteFile("ragged.csv", "a,b\n1,2\n3\n");
    ToolRun run = Tool({"--table", "R", QString::fromStdString(ragged), db});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("ragged.csv: line 3: "), std::string::npos) << run.err;
    run = Tool({"--table", "R", "--skip-bad-rows", QString::fromStdString(ragged), db});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Table R imported from " + ragged + ": 1 rows\n");

    run = Tool({"--table", "R", QString::fromStdString(ragged), db});
    EXPECT_EQ(run.exitCode, 3);  // exists
    run = Tool({"--table", "E", QString::fromStdString(WriteFile("empty.csv", "")), db});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error 3274"), std::string::npos) << run.err;
    run = Tool({"--table", "H", QString::fromStdString(WriteFile("header.csv", "Name,Size\n")), db});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Query(auction_, "SELECT name FROM pragma_table_info('H')"), (Rows{{"Name"}, {"Size"}}));
    EXPECT_EQ(Tool({"--table", "H", db}).exitCode, 2);
}

TEST_F(TextTableTest, ToolRefusesAJetAuction) {
    const std::string sample = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction/Auction31.mdb";
    CORV_NEED_FILE(sample);
    const std::string jet = folder_.File("Auction31.mdb");
    std::filesystem::copy_file(sample, jet);
    const ToolRun run = Tool(
        {"--table", "T", QString::fromStdString(WriteFile("t.csv", "a\n1\n")), QString::fromStdString(jet)});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("Error 3027"), std::string::npos) << run.err;
    EXPECT_EQ(Bytes(jet), Bytes(sample));
}

namespace {

std::string Xml(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') {  // ODF collapses blanks unless they are counted
            std::size_t n = 1;
            while (i + n < text.size() && text[i + n] == ' ') ++n;
            out += "<text:s text:c=\"" + std::to_string(n) + "\"/>";
            i += n - 1;
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            out += "&amp;";
        } else {
            out += c;
        }
    }
    return out;
}

// A flat OpenDocument spreadsheet of rows, the first row names; numbers as numbers, the rest as text.
std::string Fods(const Rows& header, const Rows& rows, const Rows& types) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet>"
        "<table:table table:name=\"Sheet1\">";
    auto row = [&](const std::vector<std::string>& cells, const std::vector<std::string>* kinds) {
        x += "<table:table-row>";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool number = kinds && ((*kinds)[c] == "integer" || (*kinds)[c] == "real");
            x += number ? "<table:table-cell office:value-type=\"float\" office:value=\"" + cells[c] + "\">"
                        : std::string("<table:table-cell office:value-type=\"string\">");
            x += "<text:p>" + Xml(cells[c]) + "</text:p></table:table-cell>";
        }
        x += "</table:table-row>";
    };
    row(header.at(0), nullptr);
    for (std::size_t r = 0; r < rows.size(); ++r) row(rows[r], &types[r]);
    return x + "</table:table></office:spreadsheet></office:body></office:document>\n";
}

}  // namespace

TEST_F(TextTableTest, ACsvWrittenByLibreOfficeReadsBackEqual) {
    const std::string soffice = "/usr/bin/soffice";
    CORV_NEED_FILE(soffice);
    const std::string table = "Markets and Bidders";
    const Rows columns = Query(auction_, "SELECT name FROM pragma_table_info('" + table + "')");
    std::string values, kinds;
    for (const auto& c : columns) {
        values += std::string(values.empty() ? "" : ", ") + "\"" + c[0] + "\"";
        kinds += std::string(kinds.empty() ? "" : ", ") + "typeof(\"" + c[0] + "\")";
    }
    const Rows original = Query(auction_, "SELECT " + values + " FROM \"" + table + "\" ORDER BY rowid");
    Rows header(1);
    for (const auto& c : columns) header[0].push_back(c[0]);
    const std::string sheet = WriteFile(
        "bids.fods", Fods(header, original,
                          Query(auction_, "SELECT " + kinds + " FROM \"" + table + "\" ORDER BY rowid")));
    test::TestApp();
    QProcess p;
    p.start(
        QString::fromStdString(soffice),
        {QStringLiteral("-env:UserInstallation=file://") + QString::fromStdString(folder_.File("profile")),
         "--headless", "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
         QString::fromStdString(folder_.Path()), QString::fromStdString(sheet)});
    ASSERT_TRUE(p.waitForFinished(180000));
    const std::string csv = Bytes(folder_.File("bids.csv"));
    ASSERT_FALSE(csv.empty()) << p.readAllStandardError().toStdString();

    Import(csv, "From Calc");
    const Rows back = Table("From Calc");
    ASSERT_EQ(back.size(), original.size());
    for (std::size_t r = 0; r < back.size(); ++r)
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string& want = original[r][c];
            const std::string& got = back[r].at(c);
            char* end = nullptr;
            const double number = std::strtod(want.c_str(), &end);
            if (!want.empty() && *end == '\0')
                EXPECT_DOUBLE_EQ(std::strtod(got.c_str(), nullptr), number) << r << "," << c;
            else
                EXPECT_EQ(got, want) << r << "," << c;
        }
}
