// Jet SQL text into tokens: bracketed names, both quote styles, #date# literals.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/functions/JetFunctions.h"
#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql::detail {

[[noreturn]] void Syntax(const std::string& what) {
    throw CorvError(err::SyntaxError, "Syntax error in query expression near '" + what + "'.");
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Literal(std::string_view s) {
    // SQLite's tokenizer ends a quoted literal at a NUL, so such a text goes as its bytes.
    if (s.find('\0') != std::string_view::npos) {
        static const char* const kHex = "0123456789ABCDEF";
        std::string out = "CAST(X'";
        for (char c : s) {
            const auto u = static_cast<unsigned char>(c);
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
        return out + "' AS TEXT)";
    }
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

// ------------------------------------------------------------------ tokens

namespace {

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view s) {
    // A NUL would cut the text short on its way to SQLite.
    if (s.find('\0') != std::string_view::npos) Syntax("\\0");
    std::vector<Token> out;
    size_t i = 0;
    auto prevIsOperand = [&]() {
        if (out.empty()) return false;
        const Token& t = out.back();
        return t.kind == Tok::Word || t.kind == Tok::Name || (t.kind == Tok::Op && t.text == ")");
    };
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        size_t start = i;
        Token t;
        if (IsWordStart(c)) {
            while (i < s.size() && IsWordChar(static_cast<unsigned char>(s[i]))) ++i;
            t.kind = Tok::Word;
            t.text = std::string(s.substr(start, i - start));
        } else if (std::isdigit(c) ||
                   (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
                    !prevIsOperand())) {
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            if (i < s.size() && s[i] == '.') {
                ++i;
                while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            }
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                size_t j = i + 1;
                if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
                    i = j;
                    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
                }
            }
            t.kind = Tok::Number;
            t.text = std::string(s.substr(start, i - start));
            if (t.text.front() == '.') t.text = "0" + t.text;
            if (t.text.back() == '.') t.text += "0";
            if (i < s.size() && IsWordStart(static_cast<unsigned char>(s[i]))) {
                Syntax(std::string(s.substr(start, i + 1 - start)));
            }
        } else if (c == '[' || c == '`') {
            char close = c == '[' ? ']' : '`';
            size_t end = s.find(close, i + 1);
            if (end == std::string_view::npos) Syntax(std::string(s.substr(start, 40)));
            t.kind = Tok::Name;
            t.text = std::string(s.substr(i + 1, end - i - 1));
            // An empty name is lexed so that the parser can refuse it as a name where one is due.
            if (t.text.find('[') != std::string::npos) {
                Syntax(std::string(s.substr(start, end + 1 - start)));
            }
            i = end + 1;
        } else if (c == '"' || c == '\'') {
            ++i;
            bool closed = false;
            while (i < s.size()) {
                if (static_cast<unsigned char>(s[i]) == c) {
                    if (i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == c) {
                        t.text += static_cast<char>(c);
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                t.text += s[i++];
            }
            if (!closed) Syntax(std::string(s.substr(start, 40)));
            t.kind = Tok::String;
        } else if (c == '#') {
            size_t end = s.find('#', i + 1);
            if (end == std::string_view::npos) Syntax(std::string(s.substr(start, 40)));
            auto date = JetDateText(s.substr(i + 1, end - i - 1));
            if (!date) {
                throw CorvError(err::SyntaxError, "Syntax error in date in query expression '" +
                                                      std::string(s.substr(start, end + 1 - start)) + "'.");
            }
            t.kind = Tok::Date;
            t.text = *date;
            i = end + 1;
        } else {
            static const char* const twoChar[] = {"<>", "<=", ">="};
            t.kind = Tok::Op;
            for (const char* op : twoChar) {
                if (s.substr(i, 2) == op) t.text = op;
            }
            if (t.text.empty()) {
                if (!std::strchr("=<>+-*/\\^&(),;.!", c) || c == 0) {
                    std::string shown(1, static_cast<char>(c));
                    if (c == 0) shown = "\\0";
                    Syntax(shown);
                }
                t.text = std::string(1, static_cast<char>(c));
            }
            i += t.text.size();
        }
        t.raw = std::string(s.substr(start, i - start));
        out.push_back(std::move(t));
    }
    out.push_back(Token{Tok::End, "", ""});
    return out;
}

bool IsReserved(std::string_view w) {
    static const char* const words[] = {
        "select",   "from",        "where", "group", "order",   "having", "union", "into",   "and",
        "or",       "xor",         "eqv",   "imp",   "mod",     "like",   "is",    "in",     "between",
        "on",       "inner",       "left",  "right", "join",    "as",     "by",    "set",    "values",
        "distinct", "distinctrow", "top",   "all",   "percent", "asc",    "desc",  "insert", "update",
        "delete",   "create",      "drop",  "alter", "table",   "not",    "null",  "outer",  "exists",
    };
    std::string l = Lower(w);
    for (const char* r : words)
        if (l == r) return true;
    return false;
}

}  // namespace corv::jetsql::detail
