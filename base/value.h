// Value: one typed value as it crosses the component boundary or a database
// statement: NULL, text, date, 32-bit integer, currency or Boolean.
#ifndef PLEXAVO_BASE_VALUE_H_
#define PLEXAVO_BASE_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/currency.h"
#include "base/datetime.h"
#include "base/result.h"

namespace base {

enum class FieldType { kText, kDate, kInt, kCurrency, kBool };

// "text", "date", "int", "currency", "bool".
const char* FieldTypeName(FieldType type);
Result<FieldType> FieldTypeFromName(std::string_view name);

struct Null {
  bool operator==(const Null&) const = default;
};

class Value {
 public:
  Value() = default;  // NULL
  Value(Null) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(DateTime v) : v_(v) {}
  Value(int32_t v) : v_(v) {}
  Value(Currency v) : v_(v) {}
  Value(bool v) : v_(v) {}

  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  bool Is(FieldType type) const;

  // Typed reads. A NULL is error 94 ("Invalid use of Null"); a value of
  // another kind is converted the way the boundary's callers expect (a
  // number from its text, a text from a number) or refused with error 13.
  Result<std::string> AsText() const;
  Result<int32_t> AsInt() const;
  Result<Currency> AsCurrency() const;
  Result<DateTime> AsDate() const;
  Result<bool> AsBool() const;

  // Text with NULL read as the empty text (for fields the callers may leave NULL).
  std::string TextOrEmpty() const;
  // A whole number with NULL, and anything that is no whole number, read as 0.
  int32_t IntOrZero() const;

  bool operator==(const Value&) const = default;

  const auto& raw() const { return v_; }

 private:
  std::variant<Null, std::string, DateTime, int32_t, Currency, bool> v_;
};

}  // namespace base

#endif  // PLEXAVO_BASE_VALUE_H_
