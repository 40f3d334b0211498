// corvidel-sql FILE [STATEMENT]: runs one Jet SQL statement on a database file through the engine.
// A SELECT prints its rows tab-separated (field names first), one line per row: tab, line feed, carriage
// return and backslash inside a value are written \t \n \r \\. Other statements are executed; without a
// statement the file's tables are listed.

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/JetSql.h"

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

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: corvidel-sql FILE [STATEMENT]\n";
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
