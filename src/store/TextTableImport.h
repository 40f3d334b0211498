// A table from a text file (CSV or TSV): reading it, guessing its format and its columns' types, and writing
// it into the auction. The dialog and corvidel-import share this one path. No state is shared: each call
// runs on its caller's thread; the writing needs the auction's writer (the user-interface thread's
// connection in the program).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corv::store {

class Auction;

// The numbers of the refusals, so a caller can tell them apart.
inline constexpr int kTextFileEmpty = 3274;
inline constexpr int kTextRowsRagged = 3275;
inline constexpr int kTableNameReserved = 3012;  // a supplied table's or the program's own

enum class TextEncoding { Utf8, Utf8Bom, Windows1252 };
enum class ColumnType { WholeNumber, Number, Date, Text };

struct TextFormat {
    char delimiter = ',';  // ',', ';' or '\t'
    TextEncoding encoding = TextEncoding::Utf8;
    bool header = true;  // the first record names the columns
};

struct TextColumn {
    std::string name;
    ColumnType type = ColumnType::Text;
    bool operator==(const TextColumn&) const = default;
};

// How the user reads a type and an encoding.
const char* ColumnTypeName(ColumnType type);
const char* EncodingName(TextEncoding encoding);

// The file's bytes as they are. A database file (the auction itself, say) is refused without being opened
// outside SQLite: closing such a read would drop this process's locks on it.
std::string LoadTextFile(const std::string& path);

// The encoding, delimiter and header the bytes look like.
TextFormat DetectFormat(std::string_view bytes);
// The bytes as UTF-8, without a byte-order mark.
std::string DecodeText(std::string_view bytes, TextEncoding encoding);

// One record and the line of the file it starts on (1-based).
struct TextRecord {
    int line = 0;
    std::vector<std::string> fields;
};

// Fraction of the work done (0 to 1); returns false to cancel.
using TextProgress = std::function<bool(double)>;

// What a reading of the text found.
struct TextScan {
    bool empty = true;                // no record at all
    std::vector<TextColumn> columns;  // named by the header (or "Column N"), typed over every row read
    std::vector<std::vector<std::string>> preview;  // the first data rows
    std::vector<int> raggedLines;  // lines starting a record with another number of fields than the first
    std::size_t rows = 0;          // data rows with the right number of fields
};

inline constexpr std::size_t kPreviewRows = 100;

// Reads text (UTF-8) with format: up to rowLimit records (0: all of them), keeping the first kPreviewRows
// data rows. A cancelled reading throws CorvError(err::Cancelled).
TextScan ScanText(std::string_view text, const TextFormat& format, std::size_t rowLimit = 0,
                  const TextProgress& progress = {});

// A name a column can have in the engine's SQL: brackets, dots, exclamation marks and back quotes become
// "_", blanks around go.
std::string CleanColumnName(const std::string& name);

enum class TableNameStatus { Free, Exists, Reserved };
// Reserved: a supplied table (sysSuppliedTables) or one of the program's own; never replaced.
TableNameStatus StatusOfTableName(Auction& auction, const std::string& name);

struct TextTableRequest {
    std::string table;
    std::vector<TextColumn> columns;  // as ScanText typed them over every row, names as the user wants them
    bool skipRaggedRows = false;      // otherwise a ragged row refuses the import (kTextRowsRagged)
    bool replace = false;             // a table of that name that is not reserved may be replaced
};

// Creates the table from text, fills it and registers it in sysTables, all in one transaction: a failure or
// a cancel leaves the auction as it was. Returns the rows written; the auction tells its listeners.
std::size_t WriteTextTable(Auction& auction, std::string_view text, const TextFormat& format,
                           const TextTableRequest& request, const TextProgress& progress = {});

}  // namespace corv::store
