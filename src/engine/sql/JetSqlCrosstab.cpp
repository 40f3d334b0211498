// TRANSFORM: one aggregate per pivot value, each counting only the rows of its value.

#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql::detail {

namespace {

[[noreturn]] void TransformSyntax() {
    throw CorvError(kTransformSyntax, "Syntax error in TRANSFORM statement.");
}

struct PivotColumn {
    std::string condition;
    std::string name;
};

}  // namespace

void Parser::Crosstab() {
    ExpectWord("transform");
    out_->kind = StatementKind::Select;
    const size_t aggregatePos = pos_;
    aggregate_ = false;
    const Expr cell = Expression();
    if (!aggregate_) TransformSyntax();
    if (AcceptWord("as")) Name();  // the cell's alias names no column
    if (!AcceptWord("select")) TransformSyntax();
    if (!AcceptWord("distinct") && !AcceptWord("distinctrow")) AcceptWord("all");

    std::string items;
    int itemCount = 0, exprNo = 1000;
    do {
        if (IsOp(Peek(), "*")) TransformSyntax();
        Expr e = Expression();
        items += (itemCount++ ? ", " : "") + Value(e);
        if (AcceptWord("as")) {
            items += " AS " + QuoteIdentifier(Name());
        } else if (!e.isColumn) {
            items += " AS " + QuoteIdentifier("Expr" + std::to_string(exprNo++));
        }
    } while (AcceptOp(","));
    // Not in the classic dialect: lets the SQL Query Builder make a table of a crosstab.
    if (AcceptWord("into")) {
        out_->kind = StatementKind::SelectInto;
        out_->intoTable = Name();
        if (AcceptWord("in")) out_->intoSchema = SchemaFor(PathAfterIn());
    }
    if (!AcceptWord("from")) TransformSyntax();
    SelectShape shape;
    const std::string from = FromClause(shape);
    std::string where;
    if (AcceptWord("where")) where = " WHERE " + Cond(Expression());
    if (!AcceptWord("group")) TransformSyntax();
    ExpectWord("by");
    std::string groups;
    do {
        if (!groups.empty()) groups += ", ";
        groups += Value(Expression()) + " COLLATE NOCASE";
    } while (AcceptOp(","));
    std::string having;
    if (AcceptWord("having")) having = " HAVING " + Cond(Expression());
    // Rows come in the order of their headings unless the query orders them.
    std::string order = groups;
    if (AcceptWord("order")) {
        ExpectWord("by");
        order = OrderList();
    }
    if (!AcceptWord("pivot")) TransformSyntax();
    const std::string pivot = Value(Operand());

    std::vector<PivotColumn> columns;
    if (AcceptWord("in")) {
        ExpectOp("(");
        do {
            const size_t start = pos_;
            Expr v = Expression();
            std::string name;
            if (v.isString) {
                name = v.text;
            } else {
                for (size_t k = start; k < pos_; ++k) name += toks_[k].raw;
            }
            columns.push_back(
                {"(" + pivot + (v.caseless ? " = " : " COLLATE NOCASE = ") + Value(v) + ")", name});
        } while (AcceptOp(","));
        ExpectOp(")");
    } else if (ctx_.rows) {
        // The values the rows hold, in ascending order; Null, first, heads a column named "<>". Of the
        // spellings of one text the first in binary order names its column.
        const std::string values =
            "SELECT quote(w), CASE WHEN w IS NOT NULL THEN jet_cstr(w) END FROM (SELECT min(v COLLATE "
            "BINARY) "
            "AS w, v FROM (SELECT " +
            pivot + " AS v FROM " + from + where + ") GROUP BY v COLLATE NOCASE) ORDER BY v COLLATE NOCASE";
        for (const auto& row : ctx_.rows(values)) {
            if (!row.at(1)) {
                columns.push_back({"(" + pivot + " IS NULL)", "<>"});
            } else {
                columns.push_back({"(" + pivot + " COLLATE NOCASE = " + *row.at(0) + ")", *row.at(1)});
            }
        }
    }
    std::string sql = "SELECT " + items;
    const size_t end = pos_;
    for (const PivotColumn& c : columns) {
        pos_ = aggregatePos;
        aggFilter_ = c.condition;
        sql += ", " + Value(Expression()) + " AS " + QuoteIdentifier(c.name);
    }
    aggFilter_.clear();
    pos_ = end;
    out_->sql = sql + " FROM " + from + where + " GROUP BY " + groups + having + " ORDER BY " + order;
    out_->pivotFirst = itemCount;
    if (!cell.aggregate.empty()) {
        out_->pivotTypeSql = "SELECT " + cell.aggColumn + " FROM " + from;
        out_->pivotTypeMoneyOnly = cell.aggregate == "sum" || cell.aggregate == "avg";
    }
}

}  // namespace corv::jetsql::detail
