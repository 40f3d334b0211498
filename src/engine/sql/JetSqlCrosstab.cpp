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

// A value's text as a heading one can see: control characters (a NUL among them) become spaces, and a text
// left empty or blank is shown in quotes.
std::string VisibleHeading(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    if (text.find_first_not_of(' ') == std::string::npos) text = "'" + text + "'";
    return text;
}

// Columns keep their order, so a heading another column before it holds (letter case ignored) takes the first
// free " (2)", " (3)", ...: the same values always get the same headings.
void MakeHeadingsUnique(std::vector<std::string> taken, std::vector<PivotColumn>& columns) {
    const auto isTaken = [&taken](const std::string& name) {
        return std::any_of(taken.begin(), taken.end(),
                           [&name](const std::string& t) { return EqualsNoCase(t, name); });
    };
    for (PivotColumn& c : columns) {
        if (isTaken(c.name)) {
            int n = 2;
            while (isTaken(c.name + " (" + std::to_string(n) + ")")) ++n;
            c.name += " (" + std::to_string(n) + ")";
        }
        taken.push_back(c.name);
    }
}

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
    std::vector<std::string> rowHeadings;
    int itemCount = 0, exprNo = 1000;
    do {
        if (IsOp(Peek(), "*")) TransformSyntax();
        Expr e = Expression();
        items += (itemCount++ ? ", " : "") + Value(e);
        if (AcceptWord("as")) {
            rowHeadings.push_back(Name());
            items += " AS " + QuoteIdentifier(rowHeadings.back());
        } else if (!e.isColumn) {
            rowHeadings.push_back("Expr" + std::to_string(exprNo++));
            items += " AS " + QuoteIdentifier(rowHeadings.back());
        } else {
            rowHeadings.push_back(e.text);
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
            columns.push_back({"(" + pivot + (v.caseless ? " = " : " COLLATE NOCASE = ") + Value(v) + ")",
                               VisibleHeading(name)});
        } while (AcceptOp(","));
        ExpectOp(")");
    } else if (ctx_.rows) {
        // The values the rows hold, in ascending order; Null, first, heads a column named "<>". Of the
        // spellings of one text the first in binary order names its column. A text comes whole, as quote()
        // would end it at a NUL.
        const std::string values =
            "SELECT typeof(w), quote(w), w, CASE WHEN w IS NOT NULL THEN jet_cstr(w) END FROM (SELECT "
            "min(v COLLATE BINARY) AS w, v FROM (SELECT " +
            pivot + " AS v FROM " + from + where + ") GROUP BY v COLLATE NOCASE) ORDER BY v COLLATE NOCASE";
        for (const auto& row : ctx_.rows(values)) {
            if (!row.at(2)) {
                columns.push_back({"(" + pivot + " IS NULL)", "<>"});
                continue;
            }
            const std::string literal = *row.at(0) == "text" ? Literal(*row.at(2)) : *row.at(1);
            columns.push_back(
                {"(" + pivot + " COLLATE NOCASE = " + literal + ")", VisibleHeading(*row.at(3))});
        }
    }
    MakeHeadingsUnique(std::move(rowHeadings), columns);
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
