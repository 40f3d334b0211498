#include "engine/Value.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace corv {

std::string_view DeclaredType(FieldType t) {
    switch (t) {
        case FieldType::Boolean:
            return "Boolean";
        case FieldType::Byte:
            return "Byte";
        case FieldType::Integer:
            return "Integer";
        case FieldType::Long:
            return "Long";
        case FieldType::Currency:
            return "Currency";
        case FieldType::Single:
            return "Single";
        case FieldType::Double:
            return "Double";
        case FieldType::DateTime:
            return "DateTime";
        case FieldType::Binary:
            return "Binary";
        case FieldType::Text:
            return "Text";
        case FieldType::LongBinary:
            return "LongBinary";
        case FieldType::Memo:
            return "LongText";  // "...TEXT" keeps text affinity: digits stay text
        case FieldType::Guid:
            return "GuidText";
        case FieldType::Numeric:
            return "Numeric";
        case FieldType::Unknown:
            return "";
    }
    return "";
}

FieldType FieldTypeFromDeclared(std::string_view decl) {
    std::string d;
    for (char c : decl) {
        if (c == '(') break;  // Text(50), Numeric(18,2)
        if (!std::isspace(static_cast<unsigned char>(c)))
            d += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (d.empty()) return FieldType::Unknown;
    if (d == "boolean" || d == "bit" || d == "yesno" || d == "logical" || d == "logical1")
        return FieldType::Boolean;
    if (d == "byte" || d == "tinyint" || d == "integer1") return FieldType::Byte;
    if (d == "integer" || d == "short" || d == "smallint" || d == "integer2") return FieldType::Integer;
    if (d == "long" || d == "int" || d == "integer4" || d == "counter" || d == "autoincrement" ||
        d == "bigint")
        return FieldType::Long;
    if (d == "currency" || d == "money") return FieldType::Currency;
    if (d == "single" || d == "real" || d == "float4" || d == "ieeesingle") return FieldType::Single;
    if (d == "double" || d == "number" || d == "float" || d == "float8" || d == "ieeedouble")
        return FieldType::Double;
    if (d == "datetime" || d == "date" || d == "time" || d == "timestamp") return FieldType::DateTime;
    if (d == "binary" || d == "varbinary") return FieldType::Binary;
    if (d == "text" || d == "varchar" || d == "char" || d == "string" || d == "alphanumeric" ||
        d == "nvarchar" || d == "nchar")
        return FieldType::Text;
    if (d == "longbinary" || d == "oleobject" || d == "general" || d == "image" || d == "blob")
        return FieldType::LongBinary;
    if (d == "longtext" || d == "memo" || d == "note" || d == "longchar" || d == "ntext")
        return FieldType::Memo;
    if (d == "guidtext" || d == "guid" || d == "uniqueidentifier") return FieldType::Guid;
    if (d == "numeric" || d == "decimal" || d == "dec") return FieldType::Numeric;
    return FieldType::Unknown;
}

namespace {
bool ParseNumber(const std::string& s, double& out) {
    const char* b = s.c_str();
    while (*b && std::isspace(static_cast<unsigned char>(*b))) ++b;
    if (!*b) return false;
    char* end = nullptr;
    out = std::strtod(b, &end);
    if (end == b) return false;
    while (*end && std::isspace(static_cast<unsigned char>(*end))) ++end;
    return *end == '\0';
}
}  // namespace

std::int64_t Value::asInteger() const {
    if (isInteger()) return std::get<std::int64_t>(v_);
    if (isReal()) return static_cast<std::int64_t>(std::get<double>(v_));
    if (isText()) {
        double d = 0;
        if (ParseNumber(text(), d)) return static_cast<std::int64_t>(d);
    }
    return 0;
}

double Value::asDouble() const {
    if (isInteger()) return static_cast<double>(std::get<std::int64_t>(v_));
    if (isReal()) return std::get<double>(v_);
    if (isText()) {
        double d = 0;
        if (ParseNumber(text(), d)) return d;
    }
    return 0;
}

std::string Value::toString() const {
    if (isNull()) return {};
    if (isInteger()) return std::to_string(std::get<std::int64_t>(v_));
    if (isReal()) {
        double d = std::get<double>(v_);
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
            return std::to_string(static_cast<std::int64_t>(d));
        }
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", d);
        return buf;
    }
    if (isText()) return text();
    const auto& b = blob().bytes;
    return "<" + std::to_string(b.size()) + " bytes>";
}

}  // namespace corv
