#include "engine/JetSql.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/CorvError.h"
#include "engine/JetFunctions.h"
#include "engine/Schema.h"

namespace corv::jetsql {

namespace {

constexpr int kAfterEnd = 3142;
constexpr int kUndefinedFunction = 3085;
constexpr int kInvalidStatement = 3129;
constexpr int kFieldDefinition = 3292;
constexpr int kValueCount = 3346;
constexpr int kMaxDepth = 200;  // nesting beyond this would only exhaust the stack

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
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

// ------------------------------------------------------------------ tokens

enum class Tok { End, Word, Name, String, Number, Date, Op };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // Word: as written; Name: inside the brackets; String: the value; Date: stored form
    std::string raw;   // as written, for messages
};

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

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
            if (t.text.empty() || t.text.find('[') != std::string::npos) {
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

// Words that end an expression or a name list rather than naming a column.
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

// ------------------------------------------------------------------ expressions

struct Expr {
    std::string sql;
    bool isBool = false;    // an SQLite truth value (1/0) rather than a Jet value
    bool isColumn = false;  // a bare column reference: keeps its name and declared type
    bool isString = false;  // a string literal; text holds its value
    bool caseless = false;  // a literal without letters: letter case cannot matter to comparisons with it
    std::string text;
};

bool HasLetters(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return std::isalpha(u) || u >= 0x80;
    });
}

Expr Caseless(Expr e) {
    e.caseless = true;
    return e;
}

// Jet's True is -1: a truth value used as a value is negated.
std::string Value(const Expr& e) {
    return e.isBool ? "(-" + e.sql + ")" : e.sql;
}
const std::string& Cond(const Expr& e) {
    return e.sql;
}

Expr BoolExpr(std::string sql) {
    Expr e;
    e.sql = std::move(sql);
    e.isBool = true;
    return e;
}
Expr ValueExpr(std::string sql) {
    Expr e;
    e.sql = std::move(sql);
    return e;
}

struct FunctionInfo {
    const char* jet;
    const char* sql;  // the SQLite function emitted
    int minArgs;
    int maxArgs;
};

const FunctionInfo kFunctions[] = {
    {"len", "jet_len", 1, 1},
    {"left", "jet_left", 2, 2},
    {"right", "jet_right", 2, 2},
    {"mid", "jet_mid", 2, 3},
    {"ucase", "jet_ucase", 1, 1},
    {"lcase", "jet_lcase", 1, 1},
    {"trim", "jet_trim", 1, 1},
    {"ltrim", "jet_ltrim", 1, 1},
    {"rtrim", "jet_rtrim", 1, 1},
    {"instr", "jet_instr", 2, 3},
    {"space", "jet_space", 1, 1},
    {"chr", "jet_chr", 1, 1},
    {"asc", "jet_asc", 1, 1},
    {"int", "jet_int", 1, 1},
    {"fix", "jet_fix", 1, 1},
    {"abs", "jet_abs", 1, 1},
    {"sgn", "jet_sgn", 1, 1},
    {"sqr", "jet_sqr", 1, 1},
    {"round", "jet_round", 1, 2},
    {"val", "jet_val", 1, 1},
    {"str", "jet_str", 1, 1},
    {"cstr", "jet_cstr", 1, 1},
    {"clng", "jet_clng", 1, 1},
    {"cint", "jet_cint", 1, 1},
    {"cdbl", "jet_cdbl", 1, 1},
    {"csng", "jet_cdbl", 1, 1},
    {"ccur", "jet_ccur", 1, 1},
    {"cbool", "jet_cbool", 1, 1},
    {"cdate", "jet_cdate", 1, 1},
    {"isnumeric", "jet_isnumeric", 1, 1},
    {"year", "jet_year", 1, 1},
    {"month", "jet_month", 1, 1},
    {"day", "jet_day", 1, 1},
    {"hour", "jet_hour", 1, 1},
    {"minute", "jet_minute", 1, 1},
    {"second", "jet_second", 1, 1},
    {"weekday", "jet_weekday", 1, 1},
    {"dateserial", "jet_dateserial", 3, 3},
    {"now", "jet_now", 0, 0},
    {"date", "jet_date", 0, 0},
    {"time", "jet_time", 0, 0},
    {"sum", "sum", 1, 1},
    {"avg", "avg", 1, 1},
    {"count", "count", 1, 1},
    {"min", "min", 1, 1},
    {"max", "max", 1, 1},
    {"first", "jet_first", 1, 1},
    {"last", "jet_last", 1, 1},
    {"iif", "", 3, 3},
    {"nz", "", 1, 2},
    {"isnull", "", 1, 1},
};

struct PathRef {
    std::string schema = "main";
};

struct SelectShape {
    bool starOnly = false;  // "SELECT * FROM one table", no DISTINCT, GROUP BY or UNION
    size_t starPos = std::string::npos;
    std::string table;
    std::string schema = "main";
};

struct SelectResult {
    std::string sql;
    SelectShape shape;
    bool hasInto = false;
    std::string intoTable;
    std::string intoSchema = "main";
};

class Parser {
  public:
    Parser(std::string_view text, const Context& ctx, Translation* out)
        : toks_(Tokenize(text)), ctx_(ctx), out_(out) {}

    Translation Statement();
    std::string ConditionOnly();
    std::string OrderOnly();

  private:
    // token access
    const Token& Peek(size_t ahead = 0) const {
        size_t k = std::min(pos_ + ahead, toks_.size() - 1);
        return toks_[k];
    }
    const Token& Next() {
        const Token& t = toks_[pos_];
        if (pos_ + 1 < toks_.size()) ++pos_;
        return t;
    }
    bool IsWord(const Token& t, std::string_view w) const {
        return t.kind == Tok::Word && EqualsNoCase(t.text, w);
    }
    bool IsOp(const Token& t, std::string_view op) const { return t.kind == Tok::Op && t.text == op; }
    bool AcceptWord(std::string_view w) {
        if (!IsWord(Peek(), w)) return false;
        Next();
        return true;
    }
    bool AcceptOp(std::string_view op) {
        if (!IsOp(Peek(), op)) return false;
        Next();
        return true;
    }
    [[noreturn]] void Unexpected() const {
        const Token& t = Peek();
        if (t.kind == Tok::End) {
            throw CorvError(err::SyntaxError,
                            "Syntax error (missing operand or clause) at the end of the query.");
        }
        Syntax(t.raw);
    }
    void ExpectWord(std::string_view w) {
        if (!AcceptWord(w)) Unexpected();
    }
    void ExpectOp(std::string_view op) {
        if (!AcceptOp(op)) Unexpected();
    }
    void Finish();

    // names
    bool AtName() const {
        const Token& t = Peek();
        return t.kind == Tok::Name || (t.kind == Tok::Word && !IsReserved(t.text));
    }
    std::string Name() {
        if (!AtName()) Unexpected();
        return Next().text;
    }
    std::string PathAfterIn();
    std::string SchemaFor(const std::string& path);
    void AddSource(const std::string& table);
    std::string TableRef(const std::string& schema, const std::string& table) const {
        return schema == "main" ? QuoteIdentifier(table)
                                : QuoteIdentifier(schema) + "." + QuoteIdentifier(table);
    }

    // expressions
    Expr Expression(int minBp = 1);
    Expr Primary();
    Expr Function(const std::string& name);
    Expr Like(const Expr& value, const Expr& pattern, bool negate);
    std::string ValueList(bool* allCaseless = nullptr);
    std::string OrderList();

    // statements
    SelectResult Select(bool allowInto);
    std::string SelectCore(bool allowInto, SelectResult& res, bool first, bool& hasTop, std::string& top,
                           bool& topPercent);
    std::string FromClause(SelectShape& shape);
    std::string JoinExpr(SelectShape& shape, int& tables);
    std::string TableTerm(SelectShape& shape, int& tables);
    void Insert();
    void Update();
    void Delete();
    void Create();
    void Drop();
    void Alter();
    std::string ColumnDefinition(const std::string& table);

    struct DepthGuard {
        explicit DepthGuard(int& d) : d_(d) {
            if (++d_ > kMaxDepth) {
                --d_;
                throw CorvError(err::SyntaxError, "Query expression is too complex.");
            }
        }
        ~DepthGuard() { --d_; }
        int& d_;
    };

    std::vector<Token> toks_;
    size_t pos_ = 0;
    const Context& ctx_;
    Translation* out_;
    int depth_ = 0;
};

void Parser::Finish() {
    if (AcceptOp(";")) {
        if (Peek().kind != Tok::End) {
            throw CorvError(kAfterEnd, "Characters found after end of SQL statement.");
        }
        return;
    }
    if (Peek().kind != Tok::End) Unexpected();
}

std::string Parser::PathAfterIn() {
    const Token& t = Peek();
    if (t.kind != Tok::String) Unexpected();
    return Next().text;
}

std::string Parser::SchemaFor(const std::string& path) {
    if (!ctx_.attach) {
        throw CorvError(err::EngineFailure, "External database files cannot be reached from this query.");
    }
    std::string alias = ctx_.attach(path);
    if (alias.empty()) throw CorvError(err::FileNotFound, "Could not find file '" + path + "'.");
    return alias;
}

void Parser::AddSource(const std::string& table) {
    if (!out_) return;
    for (const std::string& s : out_->sourceTables)
        if (EqualsNoCase(s, table)) return;
    out_->sourceTables.push_back(table);
}

// Binding powers, loosest first.
enum Bp {
    kImp = 1,
    kEqv,
    kXor,
    kOr,
    kAnd,
    kNot,
    kCompare,
    kConcat,
    kAdditive,
    kMod,
    kIntDiv,
    kMul,
    kNeg,
    kPow
};

Expr Parser::Expression(int minBp) {
    DepthGuard guard(depth_);
    Expr left;
    if (AcceptWord("not")) {
        Expr e = Expression(kNot);
        left = BoolExpr("(NOT " + Cond(e) + ")");
    } else if (AcceptOp("-")) {
        Expr e = Expression(kNeg);
        bool number = !e.sql.empty() && std::isdigit(static_cast<unsigned char>(e.sql[0])) &&
                      e.sql.find_first_not_of("0123456789.eE+-") == std::string::npos;
        left = ValueExpr(number ? "(-" + e.sql + ")" : "jet_neg(" + Value(e) + ")");
        left.caseless = number;
    } else if (AcceptOp("+")) {
        left = Expression(kNeg);
        left.isColumn = false;
    } else {
        left = Primary();
    }

    for (;;) {
        const Token& t = Peek();
        std::string op;
        int bp = 0;
        if (t.kind == Tok::Op) {
            op = t.text;
            if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=")
                bp = kCompare;
            else if (op == "&")
                bp = kConcat;
            else if (op == "+" || op == "-")
                bp = kAdditive;
            else if (op == "\\")
                bp = kIntDiv;
            else if (op == "*" || op == "/")
                bp = kMul;
            else if (op == "^")
                bp = kPow;
        } else if (t.kind == Tok::Word) {
            op = Lower(t.text);
            if (op == "imp")
                bp = kImp;
            else if (op == "eqv")
                bp = kEqv;
            else if (op == "xor")
                bp = kXor;
            else if (op == "or")
                bp = kOr;
            else if (op == "and")
                bp = kAnd;
            else if (op == "mod")
                bp = kMod;
            else if (op == "like" || op == "is" || op == "between" || op == "in")
                bp = kCompare;
            else if (op == "not" &&
                     (IsWord(Peek(1), "like") || IsWord(Peek(1), "in") || IsWord(Peek(1), "between")))
                bp = kCompare;
        }
        if (bp == 0 || bp < minBp) break;
        Next();

        if (bp == kCompare && t.kind == Tok::Word) {
            bool negate = false;
            if (op == "not") {
                negate = true;
                op = Lower(Next().text);
            }
            if (op == "is") {
                bool isNot = AcceptWord("not");
                ExpectWord("null");
                left = BoolExpr("(" + Value(left) + (isNot ? " IS NOT NULL)" : " IS NULL)"));
            } else if (op == "between") {
                Expr lo = Expression(kConcat);
                ExpectWord("and");
                Expr hi = Expression(kConcat);
                bool caseless = left.caseless || (lo.caseless && hi.caseless);
                left = BoolExpr("(" + Value(left) + (caseless ? "" : " COLLATE NOCASE") +
                                (negate ? " NOT" : "") + " BETWEEN " + Value(lo) + " AND " + Value(hi) + ")");
            } else if (op == "in") {
                ExpectOp("(");
                std::string list;
                bool caseless = left.caseless;
                if (IsWord(Peek(), "select")) {
                    SelectResult sub = Select(false);
                    list = sub.sql;
                } else {
                    bool itemsCaseless = false;
                    list = ValueList(&itemsCaseless);
                    caseless = caseless || itemsCaseless;
                }
                ExpectOp(")");
                left = BoolExpr("(" + Value(left) + (caseless ? "" : " COLLATE NOCASE") +
                                (negate ? " NOT" : "") + " IN (" + list + "))");
            } else {  // like
                Expr pattern = Expression(kConcat);
                left = Like(left, pattern, negate);
            }
            continue;
        }

        Expr right = Expression(bp + 1);
        if (bp == kCompare) {
            bool caseless = left.caseless || right.caseless;
            left = BoolExpr("(" + Value(left) + (caseless ? " " : " COLLATE NOCASE ") + op + " " +
                            Value(right) + ")");
        } else if (op == "and" || op == "or") {
            left = BoolExpr("(" + Cond(left) + (op == "and" ? " AND " : " OR ") + Cond(right) + ")");
        } else if (op == "xor" || op == "eqv") {
            left = BoolExpr("((" + Cond(left) + " <> 0) " + (op == "xor" ? "<>" : "=") + " (" + Cond(right) +
                            " <> 0))");
        } else if (op == "imp") {
            left = BoolExpr("((NOT (" + Cond(left) + " <> 0)) OR (" + Cond(right) + " <> 0))");
        } else {
            static const std::pair<const char*, const char*> fns[] = {
                {"+", "jet_add"},     {"-", "jet_sub"},   {"*", "jet_mul"}, {"/", "jet_div"},
                {"\\", "jet_intdiv"}, {"mod", "jet_mod"}, {"^", "jet_pow"}, {"&", "jet_concat"},
            };
            std::string fn;
            for (auto& [o, f] : fns)
                if (op == o) fn = f;
            left = ValueExpr(fn + "(" + Value(left) + ", " + Value(right) + ")");
        }
    }
    return left;
}

std::string Parser::ValueList(bool* allCaseless) {
    std::string list;
    if (allCaseless) *allCaseless = true;
    do {
        Expr e = Expression();
        if (allCaseless && !e.caseless) *allCaseless = false;
        if (!list.empty()) list += ", ";
        list += Value(e);
    } while (AcceptOp(","));
    return list;
}

Expr Parser::Like(const Expr& value, const Expr& pattern, bool negate) {
    std::string v = Value(value);
    std::string no = negate ? "NOT " : "";
    if (!pattern.isString) {
        return BoolExpr("(" + no + "jet_like(" + v + ", " + Value(pattern) + "))");
    }
    const std::string& p = pattern.text;
    bool plain = p.find_first_of("[#") == std::string::npos;
    bool ascii = std::all_of(p.begin(), p.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (plain) {
        // LIKE ignores case by itself (ASCII only, hence the fold for other letters).
        std::string like;
        for (char c : p) {
            if (c == '*')
                like += '%';
            else if (c == '?')
                like += '_';
            else if (c == '%' || c == '_' || c == '\\')
                like += std::string("\\") + c;
            else
                like += c;
        }
        if (!ascii)
            return BoolExpr("(jet_lcase(" + v + ") " + no + "LIKE " + Literal(JetLowerText(like)) +
                            " ESCAPE '\\')");
        return BoolExpr("(" + v + " " + no + "LIKE " + Literal(like) + " ESCAPE '\\')");
    }
    // Character lists and digits need GLOB, which is case sensitive: compare folded texts.
    std::string lowered = JetLowerText(p);
    std::string glob;
    for (size_t i = 0; i < lowered.size(); ++i) {
        char c = lowered[i];
        if (c == '*' || c == '?') {
            glob += c;
        } else if (c == '#') {
            glob += "[0-9]";
        } else if (c == '[') {
            size_t close = lowered.find(']', i + 1);
            if (close == std::string::npos) {
                throw CorvError(err::SyntaxError, "Invalid pattern string in query expression '" + p + "'.");
            }
            std::string body = lowered.substr(i + 1, close - i - 1);
            i = close;
            if (body.empty()) continue;  // "[]" stands for the empty string
            bool neg = body[0] == '!';
            if (neg) body.erase(0, 1);
            if (body.empty()) {
                throw CorvError(err::SyntaxError, "Invalid pattern string in query expression '" + p + "'.");
            }
            if (body[0] == '^') {  // a leading ^ would negate a GLOB list
                if (body.size() == 1 && !neg) {
                    glob += '^';
                    continue;
                }
                body = body.substr(1) + "^";
            }
            glob += neg ? "[^" : "[";
            glob += body;
            glob += "]";
        } else if (c == ']') {
            glob += c;
        } else {
            glob += c;
        }
    }
    return BoolExpr("(jet_lcase(" + v + ") " + no + "GLOB " + Literal(glob) + ")");
}

Expr Parser::Primary() {
    const Token& t = Peek();
    switch (t.kind) {
        case Tok::Number: {
            Next();
            return Caseless(ValueExpr(t.text));
        }
        case Tok::String: {
            Next();
            Expr e = ValueExpr(Literal(t.text));
            e.isString = true;
            e.text = t.text;
            e.caseless = !HasLetters(t.text);
            return e;
        }
        case Tok::Date:
            Next();
            return Caseless(ValueExpr(Literal(t.text)));
        case Tok::Op:
            if (AcceptOp("(")) {
                if (IsWord(Peek(), "select")) {
                    SelectResult sub = Select(false);
                    ExpectOp(")");
                    return ValueExpr("(" + sub.sql + ")");
                }
                Expr e = Expression();
                ExpectOp(")");
                e.sql = "(" + e.sql + ")";
                e.isColumn = false;
                return e;
            }
            Unexpected();
        case Tok::Name:
        case Tok::Word: {
            if (t.kind == Tok::Word) {
                if (AcceptWord("null")) return Caseless(ValueExpr("NULL"));
                if (AcceptWord("true")) return Caseless(ValueExpr("-1"));
                if (AcceptWord("false")) return Caseless(ValueExpr("0"));
                if (IsWord(t, "exists") && IsOp(Peek(1), "(")) {
                    Next();
                    Next();
                    if (!IsWord(Peek(), "select")) Unexpected();
                    SelectResult sub = Select(false);
                    ExpectOp(")");
                    return BoolExpr("(EXISTS (" + sub.sql + "))");
                }
                if (IsOp(Peek(1), "(")) {
                    std::string name = Next().text;
                    return Function(name);
                }
                if (IsReserved(t.text)) Unexpected();
            }
            std::string first = Next().text;
            Expr e;
            e.isColumn = true;
            e.sql = QuoteIdentifier(first);
            if (IsOp(Peek(), ".") || IsOp(Peek(), "!")) {
                Next();
                std::string second = Name();
                e.sql += "." + QuoteIdentifier(second);
            }
            return e;
        }
        default:
            Unexpected();
    }
}

Expr Parser::Function(const std::string& name) {
    std::string key = Lower(name);
    const FunctionInfo* info = nullptr;
    for (const FunctionInfo& f : kFunctions)
        if (key == f.jet) info = &f;
    if (!info) throw CorvError(kUndefinedFunction, "Undefined function '" + name + "' in expression.");
    ExpectOp("(");
    std::vector<Expr> args;
    if (key == "count" && IsOp(Peek(), "*") && IsOp(Peek(1), ")")) {
        Next();
        Next();
        return ValueExpr("count(*)");
    }
    if (!IsOp(Peek(), ")")) {
        do {
            args.push_back(Expression());
        } while (AcceptOp(","));
    }
    ExpectOp(")");
    int n = static_cast<int>(args.size());
    if (n < info->minArgs || n > info->maxArgs) {
        throw CorvError(err::SyntaxError,
                        "Wrong number of arguments used with function '" + name + "' in query expression.");
    }
    if (key == "iif") {
        return ValueExpr("(CASE WHEN " + Cond(args[0]) + " THEN " + Value(args[1]) + " ELSE " +
                         Value(args[2]) + " END)");
    }
    if (key == "nz") {
        return ValueExpr("coalesce(" + Value(args[0]) + ", " + (n > 1 ? Value(args[1]) : std::string("''")) +
                         ")");
    }
    if (key == "isnull") return BoolExpr("(" + Value(args[0]) + " IS NULL)");
    std::string sql = std::string(info->sql) + "(";
    for (int i = 0; i < n; ++i) {
        if (i) sql += ", ";
        sql += Value(args[i]);
        // Min and Max of text ignore letter case like every other comparison.
        if ((key == "min" || key == "max") && !args[i].isColumn) sql += " COLLATE NOCASE";
    }
    return ValueExpr(sql + ")");
}

std::string Parser::OrderList() {
    std::string list;
    do {
        Expr e = Expression();
        if (!list.empty()) list += ", ";
        list += Value(e) + " COLLATE NOCASE";
        if (AcceptWord("desc"))
            list += " DESC";
        else
            AcceptWord("asc");
    } while (AcceptOp(","));
    return list;
}

// ------------------------------------------------------------------ SELECT

SelectResult Parser::Select(bool allowInto) {
    DepthGuard guard(depth_);
    SelectResult res;
    bool hasTop = false, topPercent = false;
    std::string top;
    std::string core = SelectCore(allowInto, res, true, hasTop, top, topPercent);
    std::string sql = core;
    bool compound = false;
    while (AcceptWord("union")) {
        compound = true;
        bool all = AcceptWord("all");
        bool subTop = false, subPercent = false;
        std::string subTopN;
        SelectResult ignored;
        if (!IsWord(Peek(), "select")) Unexpected();
        sql += all ? " UNION ALL " : " UNION ";
        sql += SelectCore(false, ignored, false, subTop, subTopN, subPercent);
        if (subTop) throw CorvError(err::SyntaxError, "TOP cannot be used inside a UNION query.");
    }
    if (compound) {
        if (hasTop) throw CorvError(err::SyntaxError, "TOP cannot be used inside a UNION query.");
        res.shape.starOnly = false;
    }
    if (AcceptWord("order")) {
        ExpectWord("by");
        sql += " ORDER BY " + OrderList();
    }
    if (hasTop) {
        if (topPercent) {
            sql += " LIMIT (SELECT (count(*) * " + top + " + 99) / 100 FROM (" + core + "))";
        } else {
            sql += " LIMIT " + top;
        }
    }
    res.sql = sql;
    return res;
}

std::string Parser::SelectCore(bool allowInto, SelectResult& res, bool first, bool& hasTop, std::string& top,
                               bool& topPercent) {
    ExpectWord("select");
    std::string sql = "SELECT ";
    bool distinct = false;
    if (AcceptWord("distinct")) {
        distinct = true;
        sql += "DISTINCT ";
    } else if (!AcceptWord("distinctrow")) {
        AcceptWord("all");
    }
    if (AcceptWord("top")) {
        const Token& n = Peek();
        if (n.kind != Tok::Number || n.text.find_first_not_of("0123456789") != std::string::npos)
            Unexpected();
        top = Next().text;
        hasTop = true;
        topPercent = AcceptWord("percent");
    }

    SelectShape& shape = res.shape;
    int items = 0;
    bool onlyStar = false;
    int exprNo = 1000;
    do {
        if (items) sql += ", ";
        ++items;
        if (AcceptOp("*")) {
            shape.starPos = sql.size();
            onlyStar = items == 1;
            sql += "*";
            continue;
        }
        onlyStar = false;
        if ((Peek().kind == Tok::Name || Peek().kind == Tok::Word) &&
            (IsOp(Peek(1), ".") || IsOp(Peek(1), "!")) && IsOp(Peek(2), "*")) {
            std::string table = Next().text;
            Next();
            Next();
            sql += QuoteIdentifier(table) + ".*";
            continue;
        }
        Expr e = Expression();
        sql += Value(e);
        if (distinct && !e.isColumn) sql += " COLLATE NOCASE";
        if (AcceptWord("as")) {
            sql += " AS " + QuoteIdentifier(Name());
        } else if (!e.isColumn) {
            // The classic engine names unnamed expression columns this way.
            sql += " AS " + QuoteIdentifier("Expr" + std::to_string(exprNo++));
        }
    } while (AcceptOp(","));

    if (IsWord(Peek(), "into")) {
        if (!allowInto || !first) Unexpected();
        Next();
        res.hasInto = true;
        res.intoTable = Name();
        if (AcceptWord("in")) res.intoSchema = SchemaFor(PathAfterIn());
    }

    int tables = 0;
    SelectShape from;
    if (AcceptWord("from")) {
        sql += " FROM " + FromClause(from);
        tables = from.starOnly ? 1 : 2;
    }
    bool simple = !distinct && onlyStar && tables == 1 && !hasTop;
    if (AcceptWord("where")) sql += " WHERE " + Cond(Expression());
    if (AcceptWord("group")) {
        ExpectWord("by");
        simple = false;
        std::string list;
        do {
            Expr e = Expression();
            if (!list.empty()) list += ", ";
            list += Value(e) + " COLLATE NOCASE";
        } while (AcceptOp(","));
        sql += " GROUP BY " + list;
    }
    if (AcceptWord("having")) {
        simple = false;
        sql += " HAVING " + Cond(Expression());
    }
    if (first) {
        shape.starOnly = simple;
        shape.table = from.table;
        shape.schema = from.schema;
    }
    return sql;
}

// shape.starOnly is used here to report "exactly one plain table".
std::string Parser::FromClause(SelectShape& shape) {
    int tables = 0;
    std::string sql = JoinExpr(shape, tables);
    while (AcceptOp(",")) {
        sql += ", " + JoinExpr(shape, tables);
    }
    shape.starOnly = tables == 1;
    return sql;
}

std::string Parser::JoinExpr(SelectShape& shape, int& tables) {
    DepthGuard guard(depth_);
    std::string sql = TableTerm(shape, tables);
    for (;;) {
        std::string kind;
        if (AcceptWord("inner")) {
            kind = "INNER JOIN";
        } else if (AcceptWord("left")) {
            AcceptWord("outer");
            kind = "LEFT JOIN";
        } else if (AcceptWord("right")) {
            AcceptWord("outer");
            kind = "RIGHT JOIN";
        } else if (IsWord(Peek(), "join")) {
            kind = "INNER JOIN";
        } else {
            break;
        }
        ExpectWord("join");
        std::string right = TableTerm(shape, tables);
        ExpectWord("on");
        Expr on = Expression();
        sql += " " + kind + " " + right + " ON " + Cond(on);
        tables += 2;  // a join is never the plain one-table case
    }
    return sql;
}

std::string Parser::TableTerm(SelectShape& shape, int& tables) {
    std::string sql;
    if (AcceptOp("(")) {
        if (IsWord(Peek(), "select")) {
            SelectResult sub = Select(false);
            ExpectOp(")");
            sql = "(" + sub.sql + ")";
            tables += 2;
        } else {
            sql = "(" + JoinExpr(shape, tables) + ")";
            ExpectOp(")");
            return sql;
        }
    } else {
        std::string table = Name();
        std::string schema = "main";
        if (AcceptWord("in")) schema = SchemaFor(PathAfterIn());
        if (schema == "main") AddSource(table);
        sql = TableRef(schema, table);
        ++tables;
        shape.table = table;
        shape.schema = schema;
    }
    if (AcceptWord("as")) {
        sql += " AS " + QuoteIdentifier(Name());
    } else if (AtName()) {
        sql += " AS " + QuoteIdentifier(Name());
    }
    return sql;
}

// ------------------------------------------------------------------ action statements

void Parser::Insert() {
    ExpectWord("insert");
    ExpectWord("into");
    out_->kind = StatementKind::Insert;
    out_->targetTable = Name();
    if (AcceptWord("in")) out_->targetSchema = SchemaFor(PathAfterIn());
    std::string target = TableRef(out_->targetSchema, out_->targetTable);
    std::string sql = "INSERT INTO " + target;
    bool hasColumns = false;
    if (IsOp(Peek(), "(") && !IsWord(Peek(1), "select")) {
        Next();
        hasColumns = true;
        sql += " (";
        bool firstCol = true;
        do {
            if (!firstCol) sql += ", ";
            firstCol = false;
            sql += QuoteIdentifier(Name());
        } while (AcceptOp(","));
        ExpectOp(")");
        sql += ")";
    }
    if (AcceptWord("values")) {
        ExpectOp("(");
        sql += " VALUES (" + ValueList() + ")";
        ExpectOp(")");
        out_->sql = sql;
        return;
    }
    bool paren = AcceptOp("(");
    if (!IsWord(Peek(), "select")) Unexpected();
    SelectResult sel = Select(false);
    if (paren) ExpectOp(")");
    std::string select = sel.sql;
    // SELECT * goes into the target by column name, as the classic engine does, not by position.
    if (!hasColumns && ctx_.columns && sel.shape.starOnly && sel.shape.starPos != std::string::npos) {
        auto source = ctx_.columns(sel.shape.schema, sel.shape.table);
        if (!source) {
            throw CorvError(err::ObjectNotFound,
                            "Cannot find the input table or query '" + sel.shape.table + "'.");
        }
        auto targetCols = ctx_.columns(out_->targetSchema, out_->targetTable);
        if (!targetCols) {
            throw CorvError(err::ObjectNotFound, "Cannot find the output table '" + out_->targetTable + "'.");
        }
        std::string names, picks;
        for (const std::string& col : *source) {
            auto hit = std::find_if(targetCols->begin(), targetCols->end(),
                                    [&](const std::string& t) { return EqualsNoCase(t, col); });
            if (hit == targetCols->end()) {
                throw CorvError(err::UnknownField,
                                "The INSERT INTO statement contains the unknown field name '" + col +
                                    "'. Check the name and try again.");
            }
            if (!names.empty()) {
                names += ", ";
                picks += ", ";
            }
            names += QuoteIdentifier(*hit);
            picks += QuoteIdentifier(col);
        }
        if (source->size() != targetCols->size()) {
            throw CorvError(kValueCount, "The table '" + sel.shape.table + "' has " +
                                             std::to_string(source->size()) + " fields, but '" +
                                             out_->targetTable + "' has " +
                                             std::to_string(targetCols->size()) + ".");
        }
        sql += " (" + names + ")";
        select.replace(sel.shape.starPos, 1, picks);
    }
    out_->sql = sql + " " + select;
}

void Parser::Update() {
    ExpectWord("update");
    out_->kind = StatementKind::Update;
    out_->targetTable = Name();
    if (AcceptWord("in")) out_->targetSchema = SchemaFor(PathAfterIn());
    std::string sql = "UPDATE " + TableRef(out_->targetSchema, out_->targetTable) + " SET ";
    ExpectWord("set");
    bool firstSet = true;
    do {
        std::string col = Name();
        if (AcceptOp(".") || AcceptOp("!")) {
            if (!EqualsNoCase(col, out_->targetTable)) Syntax(col);
            col = Name();
        }
        ExpectOp("=");
        Expr e = Expression();
        if (!firstSet) sql += ", ";
        firstSet = false;
        sql += QuoteIdentifier(col) + " = " + Value(e);
    } while (AcceptOp(","));
    if (AcceptWord("where")) sql += " WHERE " + Cond(Expression());
    out_->sql = sql;
}

void Parser::Delete() {
    ExpectWord("delete");
    out_->kind = StatementKind::Delete;
    // DELETE *, DELETE t.* and DELETE [col] all remove whole rows.
    if (!IsWord(Peek(), "from")) {
        do {
            if (AcceptOp("*")) continue;
            Name();
            if (AcceptOp(".") || AcceptOp("!")) {
                if (!AcceptOp("*")) Name();
            }
        } while (AcceptOp(","));
    }
    ExpectWord("from");
    out_->targetTable = Name();
    if (AcceptWord("in")) out_->targetSchema = SchemaFor(PathAfterIn());
    std::string sql = "DELETE FROM " + TableRef(out_->targetSchema, out_->targetTable);
    if (AcceptWord("where")) sql += " WHERE " + Cond(Expression());
    out_->sql = sql;
}

std::string Parser::ColumnDefinition(const std::string& table) {
    FieldInfo f;
    f.name = Name();
    const Token& type = Peek();
    if (type.kind != Tok::Word) Unexpected();
    f.declaredType = Next().text;
    if (FieldTypeFromDeclared(f.declaredType) == FieldType::Unknown) {
        throw CorvError(kFieldDefinition, "Syntax error in field definition near '" + f.declaredType + "'.");
    }
    if (AcceptOp("(")) {
        std::string size = "(";
        do {
            if (Peek().kind != Tok::Number) Unexpected();
            if (size.size() > 1) size += ",";
            size += Next().text;
        } while (AcceptOp(","));
        ExpectOp(")");
        f.declaredType += size + ")";
    }
    std::string constraints;
    for (;;) {
        if (AcceptWord("not")) {
            ExpectWord("null");
            constraints += " NOT NULL";
        } else if (AcceptWord("primary")) {
            ExpectWord("key");
            constraints += " PRIMARY KEY";
        } else if (AcceptWord("unique")) {
            constraints += " UNIQUE";
        } else if (AcceptWord("constraint")) {
            Name();
        } else {
            break;
        }
    }
    std::string one = CreateTableSql("", table, {f});
    std::string prefix = "CREATE TABLE " + QuoteName(table) + " (";
    return one.substr(prefix.size(), one.size() - prefix.size() - 1) + constraints;
}

void Parser::Create() {
    ExpectWord("create");
    if (AcceptWord("table")) {
        out_->kind = StatementKind::CreateTable;
        out_->targetTable = Name();
        ExpectOp("(");
        std::vector<std::string> parts;
        do {
            if (AcceptWord("constraint")) {
                std::string name = Name();
                std::string kind;
                if (AcceptWord("primary")) {
                    ExpectWord("key");
                    kind = "PRIMARY KEY";
                } else {
                    ExpectWord("unique");
                    kind = "UNIQUE";
                }
                ExpectOp("(");
                std::string cols;
                do {
                    if (!cols.empty()) cols += ", ";
                    cols += QuoteIdentifier(Name());
                } while (AcceptOp(","));
                ExpectOp(")");
                parts.push_back("CONSTRAINT " + QuoteIdentifier(name) + " " + kind + " (" + cols + ")");
                continue;
            }
            parts.push_back(ColumnDefinition(out_->targetTable));
        } while (AcceptOp(","));
        ExpectOp(")");
        std::string sql = "CREATE TABLE " + QuoteIdentifier(out_->targetTable) + " (";
        for (size_t i = 0; i < parts.size(); ++i) sql += (i ? ", " : "") + parts[i];
        out_->sql = sql + ")";
        return;
    }
    bool unique = AcceptWord("unique");
    ExpectWord("index");
    out_->kind = StatementKind::CreateIndex;
    std::string index = Name();
    ExpectWord("on");
    out_->targetTable = Name();
    ExpectOp("(");
    std::string cols;
    do {
        if (!cols.empty()) cols += ", ";
        cols += QuoteIdentifier(Name());
        if (AcceptWord("desc"))
            cols += " DESC";
        else
            AcceptWord("asc");
    } while (AcceptOp(","));
    ExpectOp(")");
    if (AcceptWord("with")) {
        do {
            if (AcceptWord("primary")) continue;
            if (AcceptWord("disallow") || AcceptWord("ignore")) {
                ExpectWord("null");
                continue;
            }
            Unexpected();
        } while (IsWord(Peek(), "primary") || IsWord(Peek(), "disallow") || IsWord(Peek(), "ignore"));
    }
    out_->sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + QuoteIdentifier(index) +
                " ON " + QuoteIdentifier(out_->targetTable) + " (" + cols + ")";
}

void Parser::Drop() {
    ExpectWord("drop");
    if (AcceptWord("table")) {
        out_->kind = StatementKind::DropTable;
        out_->targetTable = Name();
        out_->sql = "DROP TABLE " + QuoteIdentifier(out_->targetTable);
        return;
    }
    ExpectWord("index");
    out_->kind = StatementKind::DropIndex;
    std::string index = Name();
    ExpectWord("on");
    out_->targetTable = Name();
    out_->sql = "DROP INDEX " + QuoteIdentifier(index);
}

void Parser::Alter() {
    ExpectWord("alter");
    ExpectWord("table");
    out_->kind = StatementKind::AlterTable;
    out_->targetTable = Name();
    std::string sql = "ALTER TABLE " + QuoteIdentifier(out_->targetTable);
    if (AcceptWord("add")) {
        AcceptWord("column");
        out_->sql = sql + " ADD COLUMN " + ColumnDefinition(out_->targetTable);
        return;
    }
    ExpectWord("drop");
    AcceptWord("column");
    out_->sql = sql + " DROP COLUMN " + QuoteIdentifier(Name());
}

Translation Parser::Statement() {
    const Token& t = Peek();
    if (IsWord(t, "select")) {
        SelectResult sel = Select(true);
        if (sel.hasInto) {
            out_->kind = StatementKind::SelectInto;
            out_->intoTable = sel.intoTable;
            out_->intoSchema = sel.intoSchema;
        } else {
            out_->kind = StatementKind::Select;
        }
        out_->sql = sel.sql;
    } else if (IsWord(t, "insert")) {
        Insert();
    } else if (IsWord(t, "update")) {
        Update();
    } else if (IsWord(t, "delete")) {
        Delete();
    } else if (IsWord(t, "create")) {
        Create();
    } else if (IsWord(t, "drop")) {
        Drop();
    } else if (IsWord(t, "alter")) {
        Alter();
    } else {
        throw CorvError(
            kInvalidStatement,
            "Invalid SQL statement; expected 'DELETE', 'INSERT', 'SELECT', 'UPDATE', 'CREATE', 'DROP' "
            "or 'ALTER'.");
    }
    Finish();
    return *out_;
}

std::string Parser::ConditionOnly() {
    Expr e = Expression();
    if (Peek().kind != Tok::End) Unexpected();
    return Cond(e);
}

std::string Parser::OrderOnly() {
    std::string list = OrderList();
    if (Peek().kind != Tok::End) Unexpected();
    return list;
}

}  // namespace

Translation Translate(std::string_view jet, const Context& ctx) {
    Translation out;
    Parser p(jet, ctx, &out);
    return p.Statement();
}

std::string TranslateCondition(std::string_view jetCondition) {
    Context none;
    Parser p(jetCondition, none, nullptr);
    return p.ConditionOnly();
}

std::string TranslateOrderList(std::string_view jetOrder) {
    Context none;
    Parser p(jetOrder, none, nullptr);
    return p.OrderOnly();
}

std::string QuoteIdentifier(std::string_view name) {
    return QuoteName(name);
}

}  // namespace corv::jetsql
