#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corv {

// Jet column types. Tables keep them as their declared SQLite column types (see DeclaredType), so a
// Currency still shows as money and a Long without a decimal point after any round trip.
enum class FieldType {
    Unknown,  // an expression column with no declared type
    Boolean,
    Byte,
    Integer,
    Long,
    Currency,
    Single,
    Double,
    DateTime,
    Binary,
    Text,
    LongBinary,  // OLE object
    Memo,
    Guid,
    Numeric,
};

// The declared type written into CREATE TABLE for a Jet type ("Text", "Long", "Currency", "LongText" for
// Memo, ...). Chosen so SQLite's affinity rules keep the stored values sensible.
std::string_view DeclaredType(FieldType t);
// Inverse of DeclaredType; accepts the DDL synonyms users type ("Number", "Varchar", "Memo", ...).
FieldType FieldTypeFromDeclared(std::string_view decl);

struct Blob {
    std::vector<unsigned char> bytes;
    bool operator==(const Blob&) const = default;
};

// A field value. DateTime values are stored as text "YYYY-MM-DD HH:MM:SS"; Booleans as -1 / 0 (Jet's True
// and False); Currency as a double rounded to 4 decimals.
class Value {
  public:
    Value() = default;
    Value(std::nullptr_t) {}
    Value(int v) : v_(static_cast<std::int64_t>(v)) {}
    Value(std::int64_t v) : v_(v) {}
    Value(double v) : v_(v) {}
    Value(std::string v) : v_(std::move(v)) {}
    Value(const char* v) : v_(std::string(v)) {}
    Value(Blob v) : v_(std::move(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(v_); }
    bool isReal() const { return std::holds_alternative<double>(v_); }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isText() const { return std::holds_alternative<std::string>(v_); }
    bool isBlob() const { return std::holds_alternative<Blob>(v_); }

    std::int64_t asInteger() const;  // numbers truncate toward zero, text converts, Null gives 0
    double asDouble() const;         // text converts where it can, Null gives 0
    // Plain text form: whole numbers without a decimal point, reals with up to 15 significant digits,
    // Null as "".
    std::string toString() const;

    const std::string& text() const { return std::get<std::string>(v_); }
    const Blob& blob() const { return std::get<Blob>(v_); }

    bool operator==(const Value&) const = default;

  private:
    std::variant<std::monostate, std::int64_t, double, std::string, Blob> v_;
};

}  // namespace corv
