// INSERT, UPDATE, DELETE and the data definition statements; the statement dispatch.

#include <algorithm>

#include "engine/Schema.h"
#include "engine/sql/JetSqlParser.h"

namespace corv::jetsql::detail {

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
    } else if (IsWord(t, "transform")) {
        Crosstab();
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

}  // namespace corv::jetsql::detail
