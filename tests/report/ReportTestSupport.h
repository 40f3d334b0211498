// Running a program of the build and reading back what corvidel-report writes: a small JSON reader, an
// RFC 4180 reader. Test code only, without Qt.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corv::test {

struct ProgramRun {
    int code = -1;  // the exit status; -1 when it did not exit normally
    std::string out, err;
};
// Runs program with args, standard output and error caught in files in folder.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder);

// Every byte of the file at path; "" when it cannot be read.
std::string FileBytes(const std::string& path);

// The Jet sample round files of auction 31, round 1 first.
std::vector<std::string> JetSampleRounds();
// Auction 31 built in folder from JetSampleRounds() with corvidel-import: its path, or "" (and a failure
// recorded) when the import failed.
std::string ImportJetSampleAuction(const std::string& folder);

class Json {
  public:
    using Members = std::vector<std::pair<std::string, Json>>;  // in the document's order
    using Array = std::vector<Json>;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(v_); }
    bool IsNumber() const { return std::holds_alternative<double>(v_); }
    bool IsString() const { return std::holds_alternative<std::string>(v_); }
    bool IsObject() const { return std::holds_alternative<Members>(v_); }
    bool Bool() const { return std::get<bool>(v_); }
    double Number() const { return std::get<double>(v_); }
    const std::string& String() const { return std::get<std::string>(v_); }
    const Array& Items() const { return std::get<Array>(v_); }
    const Members& Object() const { return std::get<Members>(v_); }
    // A member by key; throws when there is none.
    const Json& operator[](const std::string& key) const;
    // The text the value would have in the report's CSV.
    std::string CsvText() const;

    // The whole of text, or std::runtime_error saying where it is not JSON.
    static Json Parse(const std::string& text);

  private:
    friend class JsonParser;
    std::variant<std::nullptr_t, bool, double, std::string, Array, Members> v_;
};

// Rows of fields; quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

}  // namespace corv::test
