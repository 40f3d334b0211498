#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/jet/JetReader.h"
#include "engine/jetreader_support.h"

using namespace corv::jetreadertest;

// Expected counts were taken from mdb-export (mdbtools 1.0) on the sample files:
//   mdb-export FILE TABLE | python3 -c 'import csv,sys; print(sum(1 for _ in csv.reader(sys.stdin)) - 1)'
TEST(JetReader, EveryUserTableWithEveryRow) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/nwind.mdb", dir / "nwind.sqlite");
    Out nw(dir / "nwind.sqlite");
    const std::vector<std::pair<std::string, int>> nwind = {
        {"Order Details", 2155}, {"Orders", 830},  {"Products", 77},  {"Shippers", 3}, {"Categories", 8},
        {"Customers", 91},       {"Employees", 9}, {"Suppliers", 29}, {"Umsätze", 830}};
    std::vector<std::string> names;
    for (auto& [t, n] : nwind) {
        names.push_back(t);
        EXPECT_EQ(nw.One("SELECT count(*) FROM \"" + t + "\"").i, n) << t;
    }
    // Catalog order, no system tables, the non-ASCII name intact.
    EXPECT_EQ(nw.Tables(), names);

    corv::ConvertJetFile(kSamples + "/DateTestDatabase.mdb", dir / "dates.sqlite");
    Out dt(dir / "dates.sqlite");
    EXPECT_EQ(dt.Tables(), std::vector<std::string>{"DateTest"});
    EXPECT_EQ(dt.One("SELECT count(*) FROM DateTest").i, 6);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dates.sqlite", "nwind.sqlite"}))
        << "temporary files left";
}

// Values checked against mdb-export -T '%Y-%m-%d %H:%M:%S' -b hex.
TEST(JetReader, ValuesKeepTheirTypeAndPrecision) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/nwind.mdb", dir / "n.sqlite");
    Out db(dir / "n.sqlite");

    // Declared types carry the Jet types.
    EXPECT_EQ(db.DeclaredType("Orders", "Freight"), "currency");
    EXPECT_EQ(db.DeclaredType("Orders", "OrderDate"), "datetime");
    EXPECT_EQ(db.DeclaredType("Products", "Discontinued"), "boolean");
    EXPECT_EQ(db.DeclaredType("Order Details", "Discount"), "single");
    EXPECT_EQ(db.DeclaredType("Order Details", "Quantity"), "integer");
    EXPECT_EQ(db.DeclaredType("Employees", "Notes"), "longtext");
    EXPECT_EQ(db.DeclaredType("Employees", "Photo"), "longbinary");

    // Currency: exact cents.
    Cell freight = db.One("SELECT Freight FROM Orders WHERE OrderID = 10331");
    EXPECT_EQ(freight.type, SQLITE_FLOAT);
    EXPECT_EQ(freight.d, 10.19);
    EXPECT_EQ(db.One("SELECT UnitPrice FROM [Order Details] WHERE OrderID = 10248 AND ProductID = 42").d,
              9.8);
    EXPECT_EQ(db.One("SELECT UnitPrice FROM Products WHERE ProductID = 5").d, 21.35);

    // DateTime as text with a four-digit year.
    EXPECT_EQ(db.One("SELECT OrderDate FROM Orders WHERE OrderID = 10331").s, "1994-11-16 00:00:00");
    EXPECT_EQ(db.One("SELECT BirthDate FROM Employees WHERE EmployeeID = 1").s, "1948-12-08 00:00:00");

    // Boolean: Jet's True is -1.
    EXPECT_EQ(db.One("SELECT Discontinued FROM Products WHERE ProductID = 5").i, -1);
    EXPECT_EQ(db.One("SELECT Discontinued FROM Products WHERE ProductID = 1").i, 0);
    EXPECT_EQ(db.One("SELECT count(*) FROM Products WHERE Discontinued = -1").i, 8);

    // Single: the typed digits, not the float's binary tail.
    EXPECT_EQ(db.One("SELECT count(*) FROM [Order Details] WHERE Discount = 0.15").i, 157);
    EXPECT_EQ(db.One("SELECT count(*) FROM [Order Details] WHERE Discount = 0.05").i, 185);

    // Text with letters outside ASCII, as UTF-8.
    EXPECT_EQ(db.One("SELECT CompanyName FROM Customers WHERE CustomerID = 'BERGS'").s,
              "Berglunds snabbk\xc3\xb6p");
    EXPECT_EQ(db.One("SELECT City FROM Customers WHERE CustomerID = 'BERGS'").s, "Lule\xc3\xa5");
    EXPECT_EQ(db.One("SELECT count(*) FROM [Umsätze] WHERE ShipName = 'Ottilies K\xc3\xa4seladen'").i,
              db.One("SELECT count(*) FROM Orders WHERE ShipName = 'Ottilies K\xc3\xa4seladen'").i);

    // Null stays Null; text that is there stays text.
    EXPECT_EQ(db.One("SELECT ShipRegion FROM Orders WHERE OrderID = 10331").type, SQLITE_NULL);
    EXPECT_EQ(db.One("SELECT ShipRegion FROM Orders WHERE OrderID = 10330").s, "Lara");
    EXPECT_EQ(db.One("SELECT Region FROM Customers WHERE CustomerID = 'ALFKI'").type, SQLITE_NULL);
    EXPECT_EQ(db.One("SELECT count(*) FROM Orders WHERE ShippedDate IS NULL").i, 21);

    // Memo and OLE values in full.
    Cell notes = db.One("SELECT Notes FROM Employees WHERE EmployeeID = 1");
    EXPECT_EQ(notes.s.size(), 175u);
    EXPECT_EQ(notes.s.rfind("Education includes a BA in psychology", 0), 0u);
    EXPECT_EQ(notes.s.substr(notes.s.size() - 30), "of Toastmasters International.");
    Cell photo = db.One("SELECT Photo FROM Employees WHERE EmployeeID = 1");
    EXPECT_EQ(photo.type, SQLITE_BLOB);
    EXPECT_EQ(photo.s.size(), 21626u);
    EXPECT_EQ(db.One("SELECT sum(length(Picture)) FROM Categories").i, 8 * 10746);
}

TEST(JetReader, Jet4DatesAndMemos) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/DateTestDatabase.mdb", dir / "d.sqlite");
    Out db(dir / "d.sqlite");
    // The rows' own descriptions say what they hold; libmdb's text binding gets them wrong.
    auto rows = db.Query(
        "SELECT IDCol, DateTimeCol, DateCol, TimeCol, LongTextCol, ShortTextCol FROM DateTest ORDER BY "
        "IDCol");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][1].s, "2021-12-02 00:00:00");
    EXPECT_EQ(rows[1][1].s, "9999-01-01 00:00:00");
    EXPECT_EQ(rows[1][4].s, "Year 9999");
    EXPECT_EQ(rows[2][1].s, "1898-01-01 00:00:00");
    EXPECT_EQ(rows[2][2].s, "1899-01-01 00:00:00");
    EXPECT_EQ(rows[2][3].s, "1900-01-01 00:00:00");
    EXPECT_EQ(rows[3][1].s, "0632-01-01 00:00:00");
    EXPECT_EQ(rows[5][4].s, "New line\r\nin field");
    EXPECT_EQ(rows[4][5].s, "Escaped new line \\r\\n in field");
}

// The Jet date rule at its edges, through the real file format: the date cells of DateTestDatabase
// (all 2021-12-02, stored as the double 44532) are overwritten with chosen values.
TEST(JetReader, DateConversionEdges) {
    NEED_SAMPLES();
    TempDir dir;
    auto bytes = ReadAll(kSamples + "/DateTestDatabase.mdb");
    double marker = 44532.0;
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i + 8 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, &marker, 8) == 0) at.push_back(i);
    ASSERT_EQ(at.size(), 9u);
    const std::vector<std::pair<double, std::string>> cases = {
        {-1.25, "1899-12-29 06:00:00"},  // negative day, the time still counts forward
        {-0.5, "1899-12-30 12:00:00"},   // day zero from below
        {2.75, "1900-01-01 18:00:00"},
        {1.9999999999, "1900-01-01 00:00:00"},   // rounding carries into the next day
        {-1.9999999999, "1899-12-30 00:00:00"},  // ... also below zero
        {36526 + 1.0 / 86400, "2000-01-01 00:00:01"},
        {-657434.0, "0100-01-01 00:00:00"},
        {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59"},
        {59.5, "1900-02-27 12:00:00"},  // no phantom 1900-02-29
    };
    std::multiset<std::string> expected;
    for (std::size_t k = 0; k < at.size(); ++k) {
        std::memcpy(bytes.data() + at[k], &cases[k].first, 8);
        expected.insert(cases[k].second);
    }
    WriteAll(dir / "edges.mdb", bytes.data(), bytes.size());
    corv::ConvertJetFile(dir / "edges.mdb", dir / "edges.sqlite");
    Out db(dir / "edges.sqlite");
    std::multiset<std::string> got;
    for (auto& r : db.Query("SELECT DateTimeCol, DateCol, TimeCol FROM DateTest WHERE IDCol IN (1, 5, 6)"))
        for (auto& c : r) got.insert(c.s);
    EXPECT_EQ(got, expected);
}

TEST(JetReader, MissingInputIsFileNotFound) {
    TempDir dir;
    try {
        corv::ConvertJetFile(dir / "nothere.mdb", dir / "out.sqlite");
        FAIL() << "no error";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), corv::err::FileNotFound);
        EXPECT_NE(e.description().find("nothere.mdb"), std::string::npos);
    }
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(JetReader, MissingOutputFolderIsPathNotFound) {
    NEED_SAMPLES();
    TempDir dir;
    EXPECT_EQ(ErrorOf(kSamples + "/DateTestDatabase.mdb", dir / "no/such/folder/out.sqlite"),
              corv::err::PathNotFound);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(JetReader, DamagedInputsAreUnrecognizedAndLeaveNothing) {
    TempDir dir;
    WriteAll(dir / "empty.mdb", "", 0);
    std::string text = "Standard Jet DB? no, just a note somebody named .mdb\n";
    WriteAll(dir / "note.mdb", text.data(), text.size());
    // A database of another kind under a Jet name is not read either.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "sqlite.mdb").c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE t (a); INSERT INTO t VALUES (1)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    std::vector<std::string> inputs = {"empty.mdb", "note.mdb", "sqlite.mdb"};
    if (fs::exists(kSamples + "/nwind.mdb")) {
        for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb"}) {
            auto bytes = ReadAll(kSamples + "/" + name);
            // Mid-page, early pages, the catalog, half the data.
            for (std::size_t cut :
                 {std::size_t{100}, std::size_t{4096}, std::size_t{12288}, std::size_t{40960},
                  bytes.size() / 2, bytes.size() / 2 + 100, bytes.size() - 1}) {
                std::string in = "cut" + std::to_string(cut) + "_" + name;
                WriteAll(dir / in, bytes.data(), cut);
                inputs.push_back(in);
            }
        }
    }
    auto before = dir.Entries();
    for (const auto& in : inputs) {
        try {
            corv::ConvertJetFile(dir / in, dir / "out.sqlite", 10s);
            ADD_FAILURE() << in << " was read";
        } catch (const corv::CorvError& e) {
            EXPECT_EQ(e.number(), corv::err::UnrecognizedFormat) << in << ": " << e.description();
            EXPECT_NE(e.description().find("Unrecognized database format '" + (dir / in) + "'."),
                      std::string::npos)
                << e.description();
            // Refused by the reader itself, not stopped by its confinement on the way out.
            EXPECT_EQ(e.description().find("signal"), std::string::npos) << e.description();
        }
        EXPECT_EQ(dir.Entries(), before) << "left behind after " << in;
    }
}

// Random byte flips in a real Jet 4 file: every variant is either read or refused with 3343, never a crash
// or hang of this process, and a refused one leaves no output behind.
TEST(JetReaderFuzz, FlippedBytesAreReadOrRefused) {
    NEED_SAMPLES();
    TempDir dir;
    const auto original = ReadAll(kSamples + "/DateTestDatabase.mdb");
    std::uint64_t state = 20240611;
    auto next = [&state] {  // splitmix64: same sequence everywhere
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    int read = 0, refused = 0;
    const std::size_t hot = std::min<std::size_t>(original.size(), 24 * 4096);  // catalog, definitions, data
    for (int variant = 0; variant < 300; ++variant) {
        auto bytes = original;
        // From a single changed byte to a badly mangled file; most changes land where the structure is.
        const int flips = 1 << (2 * (next() % 4));
        for (int f = 0; f < flips; ++f) {
            std::size_t span = (next() % 4 == 0) ? bytes.size() : hot;
            bytes[next() % span] ^= static_cast<unsigned char>(1 + next() % 255);
        }
        WriteAll(dir / "v.mdb", bytes.data(), bytes.size());
        auto out = dir / "v.sqlite";
        try {
            corv::ConvertJetFile(dir / "v.mdb", out, 3s);
            ++read;
            Out db(out);  // what was read is a sound database
            EXPECT_EQ(db.One("PRAGMA integrity_check").s, "ok") << "variant " << variant;
            fs::remove(out);
        } catch (const corv::CorvError& e) {
            ++refused;
            EXPECT_EQ(e.number(), corv::err::UnrecognizedFormat)
                << "variant " << variant << ": " << e.description();
            EXPECT_FALSE(fs::exists(out)) << "variant " << variant;
        }
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"v.mdb"}) << "variant " << variant;
    }
    std::printf("flipped variants: %d read, %d refused\n", read, refused);
    EXPECT_EQ(read + refused, 300);
}
