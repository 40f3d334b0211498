#include "report/ReportTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "report/ReportWriters.h"

namespace corv::test {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> JetSampleRounds() {
    std::vector<std::string> files;
    for (int r = 1; r <= 6; ++r)
        files.push_back(CORVIDEL_SHARED_DIR "/jet-samples/auction/31_00" + std::to_string(r) + ".mdb");
    return files;
}

std::string ImportJetSampleAuction(const std::string& folder) {
    std::vector<std::string> args = {folder + "/Auction31.mdb"};
    for (const std::string& file : JetSampleRounds()) args.push_back(file);
    const ProgramRun import = RunProgram(CORVIDEL_IMPORT_TOOL, args, folder);
    if (import.code != 0) {
        ADD_FAILURE() << "corvidel-import: " << import.err;
        return {};
    }
    return args[0];
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) {
    const std::string outPath = folder + "/run.out", errPath = folder + "/run.err";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ProgramRun run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.code = WEXITSTATUS(status);
    run.out = FileBytes(outPath);
    run.err = FileBytes(errPath);
    return run;
}

// ---- JSON ----

class JsonParser {
  public:
    explicit JsonParser(const std::string& text) : s_(text) {}
    Json Document() {
        Json v = Value();
        Space();
        if (i_ != s_.size()) Fail("text after the document");
        return v;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("not JSON at " + std::to_string(i_) + ": " + what);
    }
    void Space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
    }
    bool Take(char c) {
        Space();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail(std::string("expected ") + c);
    }
    bool Word(const char* w) {
        const std::string word(w);
        if (s_.compare(i_, word.size(), word) != 0) return false;
        i_ += word.size();
        return true;
    }
    Json Value() {
        Json v;
        Space();
        if (i_ >= s_.size()) Fail("end of text");
        const char c = s_[i_];
        if (c == '{') {
            ++i_;
            Json::Members m;
            if (!Take('}')) {
                do {
                    Space();
                    std::string key = String();
                    Expect(':');
                    m.emplace_back(std::move(key), Value());
                } while (Take(','));
                Expect('}');
            }
            v.v_ = std::move(m);
        } else if (c == '[') {
            ++i_;
            Json::Array a;
            if (!Take(']')) {
                do a.push_back(Value());
                while (Take(','));
                Expect(']');
            }
            v.v_ = std::move(a);
        } else if (c == '"') {
            v.v_ = String();
        } else if (Word("null")) {
            v.v_ = nullptr;
        } else if (Word("true")) {
            v.v_ = true;
        } else if (Word("false")) {
            v.v_ = false;
        } else {
            double d = 0;
            const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + s_.size(), d);
            if (ec != std::errc() || s_[i_] == '+') Fail("bad value");
            i_ = static_cast<std::size_t>(end - s_.data());
            v.v_ = d;
        }
        return v;
    }
    std::string String() {
        if (i_ >= s_.size() || s_[i_] != '"') Fail("expected a string");
        ++i_;
        std::string out;
        while (true) {
            if (i_ >= s_.size()) Fail("unended string");
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return out;
            if (c < 0x20) Fail("control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = i_ < s_.size() ? s_[i_++] : 0;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    unsigned code = 0;
                    const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, code, 16);
                    if (ec != std::errc() || end != s_.data() + i_ + 4) Fail("bad \\u");
                    i_ += 4;
                    // The report escapes control characters and U+FFFD alone: no surrogate pairs.
                    if (code < 0x80) {
                        out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        out += static_cast<char>(0xC0 | (code >> 6));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (code >> 12));
                        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
    }
    const std::string& s_;
    std::size_t i_ = 0;
};

Json Json::Parse(const std::string& text) {
    return JsonParser(text).Document();
}

const Json& Json::operator[](const std::string& key) const {
    for (const auto& [k, v] : Object())
        if (k == key) return v;
    throw std::out_of_range("no member " + key);
}

std::string Json::CsvText() const {
    if (IsNull()) return {};
    if (IsNumber()) return report::JsonNumber(Number());
    if (IsString()) return String();
    return Bool() ? "true" : "false";
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}

}  // namespace corv::test
