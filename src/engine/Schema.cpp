#include "engine/Schema.h"

namespace corv {

std::string QuoteName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

bool IsTextDeclaredType(std::string_view declared) {
    switch (FieldTypeFromDeclared(declared)) {
        case FieldType::Text:
        case FieldType::Memo:
        case FieldType::Guid:
            return true;
        default:
            return false;
    }
}

std::string CreateTableSql(std::string_view schema, std::string_view table,
                           const std::vector<FieldInfo>& columns) {
    std::string sql = "CREATE TABLE ";
    if (!schema.empty()) sql += QuoteName(schema) + ".";
    sql += QuoteName(table) + " (";
    for (size_t i = 0; i < columns.size(); ++i) {
        const FieldInfo& c = columns[i];
        if (i) sql += ", ";
        sql += QuoteName(c.name);
        std::string decl = !c.declaredType.empty() ? c.declaredType : std::string(DeclaredType(c.type));
        // Memo declared as "Memo" would get numeric affinity and turn "007" into 7.
        if (FieldTypeFromDeclared(decl) == FieldType::Memo) decl = std::string(DeclaredType(FieldType::Memo));
        if (!decl.empty()) sql += " " + decl;
        if (IsTextDeclaredType(decl)) sql += " COLLATE NOCASE";
    }
    sql += ")";
    return sql;
}

}  // namespace corv
