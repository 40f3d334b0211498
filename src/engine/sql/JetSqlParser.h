#pragma once

// The Jet SQL translator's own pieces: tokens, expressions and the parser shared by its files.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CorvError.h"
#include "engine/sql/JetSql.h"

namespace corv::jetsql::detail {

constexpr int kAfterEnd = 3142;
constexpr int kUndefinedFunction = 3085;
constexpr int kInvalidStatement = 3129;
constexpr int kFieldDefinition = 3292;
constexpr int kValueCount = 3346;
constexpr int kTransformSyntax = 3143;
constexpr int kMaxDepth = 200;  // nesting beyond this would only exhaust the stack

[[noreturn]] void Syntax(const std::string& what);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string Lower(std::string_view s);
// s as an SQLite string literal; one holding a NUL as an expression giving that text.
std::string Literal(std::string_view s);

// ------------------------------------------------------------------ tokens

enum class Tok { End, Word, Name, String, Number, Date, Op };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // Word: as written; Name: inside the brackets; String: the value; Date: stored form
    std::string raw;   // as written, for messages
};

std::vector<Token> Tokenize(std::string_view s);
// Words that end an expression or a name list rather than naming a column.
bool IsReserved(std::string_view w);

// ------------------------------------------------------------------ expressions

struct Expr {
    std::string sql;
    bool isBool = false;    // an SQLite truth value (1/0) rather than a Jet value
    bool isColumn = false;  // a bare column reference: keeps its name and declared type
    bool isString = false;  // a string literal; text holds its value
    bool caseless = false;  // a literal without letters: letter case cannot matter to comparisons with it
    std::string text;       // a string literal's value; a column's own name, without its table
    std::string aggregate;  // the whole expression is this aggregate ("sum", ...) of aggColumn
    std::string aggColumn;
};

inline bool HasLetters(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return std::isalpha(u) || u >= 0x80;
    });
}

inline Expr Caseless(Expr e) {
    e.caseless = true;
    return e;
}

// Jet's True is -1: a truth value used as a value is negated.
inline std::string Value(const Expr& e) {
    return e.isBool ? "(-" + e.sql + ")" : e.sql;
}
inline const std::string& Cond(const Expr& e) {
    return e.sql;
}

inline Expr BoolExpr(std::string sql) {
    Expr e;
    e.sql = std::move(sql);
    e.isBool = true;
    return e;
}
inline Expr ValueExpr(std::string sql) {
    Expr e;
    e.sql = std::move(sql);
    return e;
}

struct SelectShape {
    bool starOnly = false;  // "SELECT * FROM one table", no DISTINCT, GROUP BY or UNION
    size_t starPos = std::string::npos;
    std::string table;
    std::string schema = "main";
};

// A result column of a SELECT that had to be wrapped: an ORDER BY outside it can name it only by position.
struct ResultItem {
    std::string sql;   // the expression as written inside
    std::string name;  // the column's own name or alias, unquoted
};

struct SelectResult {
    std::string sql;
    SelectShape shape;
    std::vector<ResultItem> wrapped;  // the first SELECT's columns when it was wrapped
    int columns = 0;                  // the first SELECT's column count; 0 when it holds a *
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
        return (t.kind == Tok::Name && !t.text.empty()) || (t.kind == Tok::Word && !IsReserved(t.text));
    }
    std::string Name() {
        if (Peek().kind == Tok::Name && Peek().text.empty()) {
            throw CorvError(err::InvalidName,
                            "'' is not a valid name. Make sure that it does not include invalid characters "
                            "or punctuation and that it is not too long.");
        }
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
    Expr Operand();  // an expression without comparisons, so that PIVOT x IN (...) keeps its IN
    Expr Primary();
    Expr Function(const std::string& name);
    Expr Like(const Expr& value, const Expr& pattern, bool negate);
    std::string ValueList(bool* allCaseless = nullptr);
    // items: the result columns of a wrapped SELECT the list orders, which it names by position
    std::string OrderList(const std::vector<ResultItem>* items = nullptr);

    // statements
    SelectResult Select(bool allowInto);
    std::string SelectCore(bool allowInto, SelectResult& res, bool first, bool& hasTop, std::string& top,
                           bool& topPercent);
    std::string FromClause(SelectShape& shape);
    std::string JoinExpr(SelectShape& shape, int& tables);
    std::string TableTerm(SelectShape& shape, int& tables);
    void Crosstab();
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
    bool aggregate_ = false;  // the SELECT being read calls an aggregate function
    std::string aggFilter_;   // a crosstab cell's condition, which its aggregates count rows by
};

}  // namespace corv::jetsql::detail
