#include "engine/sql/JetSql.h"

#include "engine/Schema.h"
#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql {

namespace detail {

// ------------------------------------------------------------------ names

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

}  // namespace detail

Translation Translate(std::string_view jet, const Context& ctx) {
    Translation out;
    detail::Parser p(jet, ctx, &out);
    return p.Statement();
}

std::string TranslateCondition(std::string_view jetCondition) {
    Context none;
    detail::Parser p(jetCondition, none, nullptr);
    return p.ConditionOnly();
}

std::string TranslateOrderList(std::string_view jetOrder) {
    Context none;
    detail::Parser p(jetOrder, none, nullptr);
    return p.OrderOnly();
}

std::string QuoteIdentifier(std::string_view name) {
    return QuoteName(name);
}

}  // namespace corv::jetsql
