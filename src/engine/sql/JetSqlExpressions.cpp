// Jet expressions as SQLite expressions: operators with Jet's typing, Like, functions, letter case.

#include <algorithm>
#include <cctype>

#include "engine/functions/JetFunctions.h"
#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql::detail {

namespace {

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
    {"weekday", "jet_weekday", 1, 2},
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
    {"stdev", "jet_stdev", 1, 1},
    {"stdevp", "jet_stdevp", 1, 1},
    {"var", "jet_var", 1, 1},
    {"varp", "jet_varp", 1, 1},
    {"strreverse", "jet_strreverse", 1, 1},
    {"string", "jet_string", 2, 2},
    {"switch", "", 2, 254},
    {"datepart", "jet_datepart", 2, 4},
    {"dateadd", "jet_dateadd", 3, 3},
    {"datediff", "jet_datediff", 3, 5},
    {"choose", "", 2, 254},
    {"strcomp", "jet_strcomp", 2, 3},
    {"replace", "jet_replace", 3, 6},
    {"format", "jet_format", 1, 4},
    {"iif", "", 3, 3},
    {"nz", "", 1, 2},
    {"isnull", "", 1, 1},
};

}  // namespace

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

Expr Parser::Operand() {
    return Expression(kConcat);
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
            if (t.kind == Tok::Name && t.text.empty()) Unexpected();
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
            Expr e;
            e.isColumn = true;
            e.text = Next().text;
            e.sql = QuoteIdentifier(e.text);
            if (IsOp(Peek(), ".") || IsOp(Peek(), "!")) {
                Next();
                e.text = Name();
                e.sql += "." + QuoteIdentifier(e.text);
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
    const bool isAggregate = key == "sum" || key == "avg" || key == "count" || key == "min" || key == "max" ||
                             key == "first" || key == "last" || key == "stdev" || key == "stdevp" ||
                             key == "var" || key == "varp";
    if (isAggregate) aggregate_ = true;
    // In a crosstab cell an aggregate sees only the cell's rows; a cell without rows is Null, even for Count.
    const std::string filter = isAggregate && !aggFilter_.empty() ? " FILTER (WHERE " + aggFilter_ + ")" : "";
    ExpectOp("(");
    std::vector<Expr> args;
    if (key == "count" && IsOp(Peek(), "*") && IsOp(Peek(1), ")")) {
        Next();
        Next();
        return ValueExpr(filter.empty() ? "count(*)" : "nullif(count(*)" + filter + ", 0)");
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
    if (key == "switch") {
        if (n % 2 != 0) {
            throw CorvError(err::SyntaxError, "Wrong number of arguments used with function '" + name +
                                                  "' in query expression.");
        }
        // The first true condition picks its value; a Null condition counts as false, none true gives Null.
        std::string sql = "(CASE";
        for (int i = 0; i < n; i += 2) sql += " WHEN " + Cond(args[i]) + " THEN " + Value(args[i + 1]);
        return ValueExpr(sql + " END)");
    }
    if (key == "choose") {
        // An index out of range or Null picks nothing: Null.
        std::string sql = "(CASE jet_chooseindex(" + Value(args[0]) + ", " + std::to_string(n - 1) + ")";
        for (int i = 1; i < n; ++i) sql += " WHEN " + std::to_string(i) + " THEN " + Value(args[i]);
        return ValueExpr(sql + " END)");
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
        // Min and Max of text ignore letter case like every other comparison, whatever a column's collation.
        if (key == "min" || key == "max") sql += " COLLATE NOCASE";
    }
    sql += ")" + filter;
    if (key == "count" && !filter.empty()) sql = "(CASE WHEN count(*)" + filter + " THEN " + sql + " END)";
    Expr e = ValueExpr(sql);
    if (isAggregate && n == 1 && args[0].isColumn) {
        e.aggregate = key;
        e.aggColumn = args[0].sql;
    }
    return e;
}

std::string Parser::OrderList(const std::vector<ResultItem>* items) {
    std::string list;
    do {
        Expr e = Expression();
        std::string term = Value(e);
        for (size_t k = 0; items && k < items->size(); ++k) {
            const ResultItem& item = (*items)[k];
            if (item.sql == term || (e.isColumn && EqualsNoCase(item.name, e.text))) {
                term = std::to_string(k + 1);
                break;
            }
        }
        if (!list.empty()) list += ", ";
        list += term + " COLLATE NOCASE";
        if (AcceptWord("desc"))
            list += " DESC";
        else
            AcceptWord("asc");
    } while (AcceptOp(","));
    return list;
}

}  // namespace corv::jetsql::detail
