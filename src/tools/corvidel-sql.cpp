// corvidel-sql FILE [STATEMENT]: runs one Jet SQL statement on a database file through the engine.
// A SELECT prints its rows tab-separated (field names first), one line per row: tab, line feed, carriage
// return and backslash inside a value are written \t \n \r \\. Other statements are executed; without a
// statement the file's tables are listed.

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/sql/JetSql.h"
#include "platform/InstallPaths.h"
#include "platform/TempFileCleanup.h"

namespace {

bool IsSelect(const std::string& statement) {
    // Only the kind matters here; nothing is attached or looked up.
    corv::jetsql::Context probe;
    probe.attach = [](const std::string&) { return std::string("probe"); };
    try {
        return corv::jetsql::Translate(statement, probe).kind == corv::jetsql::StatementKind::Select;
    } catch (const std::exception&) {
        return false;  // Execute reports the error properly
    }
}

// A Memo holding a line break or a tab must not split its row.
void AppendEscaped(std::string& out, const std::string& value) {
    for (char c : value) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

void PrintRows(corv::Recordset& rs) {
    rs.WaitComplete();  // large results load in the background; print every row
    std::string out;
    for (int i = 0; i < rs.FieldCount(); ++i) {
        if (i) out += '\t';
        AppendEscaped(out, rs.Field(i).name);
    }
    out += '\n';
    for (std::size_t r = 0; r < rs.RowCount(); ++r) {
        for (int i = 0; i < rs.FieldCount(); ++i) {
            if (i) out += '\t';
            AppendEscaped(out, rs.Cell(r, i).toString());
        }
        out += '\n';
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

constexpr const char* kUsage = "usage: corvidel-sql FILE [STATEMENT]\n";

constexpr const char* kHelp =
    "Runs one Jet SQL statement on FILE, an auction database or a round results file (Jet or SQLite).\n"
    "A SELECT or TRANSFORM (crosstab) prints its rows tab-separated after a line of field names; a tab,\n"
    "line feed, carriage return or backslash inside a value is written \\t, \\n, \\r or \\\\. Any other\n"
    "statement is executed. Without a statement the file's tables are listed. A Jet file is read-only:\n"
    "a statement that would change it fails with Error 3027.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Exit status: 0 on success; 1 when the file or the statement fails (\"Error N: description\" on\n"
    "standard error); 2 for a wrong command line (an unknown option included). See corvidel-sql(1).\n";

int main(int argc, char** argv) {
    corv::LocateJetReader();
    corv::CleanTempFilesAtStart(true);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage << '\n' << kHelp;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "corvidel-sql " << CORVIDEL_VERSION_MAJOR << '.' << CORVIDEL_VERSION_MINOR << '.'
                  << CORVIDEL_VERSION_PATCH << '\n';
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        // Taken as a file name, a mistyped option would only report a missing file.
        if (argv[i][0] == '-') {
            const std::string option = argv[i];
            if (option != "--help" && option != "-h" && option != "--version")
                std::cerr << "corvidel-sql: unknown option " << option << '\n';
            std::cerr << kUsage;
            return 2;
        }
    }
    if (argc < 2 || argc > 3) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        auto db = corv::Engine().OpenDatabase(argv[1]);
        if (argc == 2) {
            for (const auto& t : db->TableDefs()) std::cout << t.Name << '\n';
        } else if (IsSelect(argv[2])) {
            auto rs = db->OpenRecordset(argv[2], corv::RecordsetType::Snapshot);
            PrintRows(*rs);
        } else {
            db->Execute(argv[2]);
        }
        std::fflush(stdout);
        return 0;
    } catch (const corv::CorvError& e) {
        std::cerr << "Error " << e.number() << ": " << e.description() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "Error " << corv::err::EngineFailure << ": " << e.what() << '\n';
    }
    return 1;
}
