// SELECT: TOP, DISTINCT, INTO, joins, GROUP BY, UNION and ORDER BY.

#include <utility>

#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql::detail {

namespace {

// "1 COLLATE NOCASE, 2 COLLATE NOCASE, ..." for the first n result columns.
std::string NoCaseKeys(int n) {
    std::string keys;
    for (int i = 1; i <= n; ++i) keys += (i > 1 ? ", " : "") + std::to_string(i) + " COLLATE NOCASE";
    return keys;
}

}  // namespace

SelectResult Parser::Select(bool allowInto) {
    DepthGuard guard(depth_);
    SelectResult res;
    bool hasTop = false, topPercent = false;
    std::string top;
    std::string core = SelectCore(allowInto, res, true, hasTop, top, topPercent);
    std::string sql = core;
    bool compound = false, anyAll = false;
    while (AcceptWord("union")) {
        compound = true;
        bool all = AcceptWord("all");
        anyAll = anyAll || all;
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
        // UNION drops repeated rows by the first SELECT's collations; as for DISTINCT, group them again.
        if (!anyAll && res.columns > 0)
            sql = "SELECT * FROM (" + sql + ") GROUP BY " + NoCaseKeys(res.columns);
    }
    if (AcceptWord("order")) {
        ExpectWord("by");
        sql += " ORDER BY " + OrderList(compound ? nullptr : &res.wrapped);
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
    const bool outerAggregate = std::exchange(aggregate_, false);
    const std::string outerFilter = std::exchange(aggFilter_, std::string());
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
    int items = 0, stars = 0;
    bool onlyStar = false, anyStar = false;
    std::vector<ResultItem> resultItems;
    int exprNo = 1000;
    do {
        if (items) sql += ", ";
        ++items;
        if (AcceptOp("*")) {
            shape.starPos = sql.size();
            onlyStar = items == 1;
            anyStar = true;
            ++stars;
            sql += "*";
            continue;
        }
        onlyStar = false;
        if ((Peek().kind == Tok::Name || Peek().kind == Tok::Word) && !Peek().text.empty() &&
            (IsOp(Peek(1), ".") || IsOp(Peek(1), "!")) && IsOp(Peek(2), "*")) {
            std::string table = Next().text;
            Next();
            Next();
            anyStar = true;
            sql += QuoteIdentifier(table) + ".*";
            continue;
        }
        Expr e = Expression();
        sql += Value(e);
        if (distinct && !e.isColumn) sql += " COLLATE NOCASE";
        ResultItem item{Value(e), e.isColumn ? e.text : std::string()};
        if (AcceptWord("as")) {
            item.name = Name();
            sql += " AS " + QuoteIdentifier(item.name);
        } else if (!e.isColumn) {
            // The classic engine names unnamed expression columns this way.
            item.name = "Expr" + std::to_string(exprNo++);
            sql += " AS " + QuoteIdentifier(item.name);
        }
        resultItems.push_back(std::move(item));
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
    bool grouped = false, having = false;
    if (AcceptWord("group")) {
        ExpectWord("by");
        simple = false;
        grouped = true;
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
        having = true;
        sql += " HAVING " + Cond(Expression());
    }
    // How many columns the result has; 0 when a * stands for columns not known here.
    int columns = anyStar ? 0 : items;
    if (anyStar && stars == 1 && tables == 1 && ctx_.columns) {
        if (auto names = ctx_.columns(from.schema, from.table))
            columns = items - 1 + static_cast<int>(names->size());
    }
    // DISTINCT compares a bare column by the column's own collation, which need not ignore case, and
    // "column COLLATE NOCASE" would lose the column's declared type. So the DISTINCT rows, few and cheap to
    // find, are grouped again by each column with NOCASE.
    if (distinct && columns > 0 && (grouped || (!aggregate_ && !having))) {
        sql = "SELECT * FROM (" + sql + ") GROUP BY " + NoCaseKeys(columns);
        if (first && !anyStar) res.wrapped = std::move(resultItems);
    }
    if (first) res.columns = columns;
    aggregate_ = outerAggregate;
    aggFilter_ = outerFilter;
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

}  // namespace corv::jetsql::detail
