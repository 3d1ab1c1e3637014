#include "base/value.h"

#include <charconv>

namespace base {
namespace {

Err NullErr() { return MakeErr(kErrInvalidUseOfNull, "Invalid use of Null"); }
Err Mismatch() { return MakeErr(kErrTypeMismatch, "Type mismatch"); }

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

}  // namespace

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kText:
      return "text";
    case FieldType::kDate:
      return "date";
    case FieldType::kInt:
      return "int";
    case FieldType::kCurrency:
      return "currency";
    case FieldType::kBool:
      return "bool";
  }
  return "text";
}

Result<FieldType> FieldTypeFromName(std::string_view name) {
  for (FieldType t : {FieldType::kText, FieldType::kDate, FieldType::kInt, FieldType::kCurrency,
                      FieldType::kBool}) {
    if (name == FieldTypeName(t)) return t;
  }
  return MakeErr(kErrTypeMismatch, "unknown field type '" + std::string(name) + "'");
}

bool Value::Is(FieldType type) const {
  switch (type) {
    case FieldType::kText:
      return std::holds_alternative<std::string>(v_);
    case FieldType::kDate:
      return std::holds_alternative<DateTime>(v_);
    case FieldType::kInt:
      return std::holds_alternative<int32_t>(v_);
    case FieldType::kCurrency:
      return std::holds_alternative<Currency>(v_);
    case FieldType::kBool:
      return std::holds_alternative<bool>(v_);
  }
  return false;
}

Result<std::string> Value::AsText() const {
  return std::visit(
      Overload{
          [](const Null&) -> Result<std::string> { return NullErr(); },
          [](const std::string& s) -> Result<std::string> { return s; },
          [](const DateTime& d) -> Result<std::string> { return d.FormatIso(); },
          [](int32_t i) -> Result<std::string> { return std::to_string(i); },
          [](Currency c) -> Result<std::string> { return c.ToPlainString(); },
          [](bool b) -> Result<std::string> { return std::string(b ? "True" : "False"); },
      },
      v_);
}

int32_t Value::IntOrZero() const {
  if (IsNull()) return 0;
  auto r = AsInt();
  return r.ok() ? *r : 0;
}

std::string Value::TextOrEmpty() const {
  if (IsNull()) return "";
  auto r = AsText();
  return r.ok() ? *r : "";
}

Result<int32_t> Value::AsInt() const {
  return std::visit(Overload{
                        [](const Null&) -> Result<int32_t> { return NullErr(); },
                        [](const std::string& s) -> Result<int32_t> {
                          int32_t v = 0;
                          auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
                          if (ec == std::errc::result_out_of_range) {
                            return MakeErr(kErrOverflow, "Overflow");
                          }
                          if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
                            return Mismatch();
                          }
                          return v;
                        },
                        [](const DateTime&) -> Result<int32_t> { return Mismatch(); },
                        [](int32_t i) -> Result<int32_t> { return i; },
                        [](Currency c) -> Result<int32_t> {
                          if (c.scaled() % Currency::kScale != 0) return Mismatch();
                          int64_t u = c.scaled() / Currency::kScale;
                          if (u < INT32_MIN || u > INT32_MAX) {
                            return MakeErr(kErrOverflow, "Overflow");
                          }
                          return static_cast<int32_t>(u);
                        },
                        [](bool b) -> Result<int32_t> { return b ? -1 : 0; },
                    },
                    v_);
}

Result<Currency> Value::AsCurrency() const {
  return std::visit(Overload{
                        [](const Null&) -> Result<Currency> { return NullErr(); },
                        [](const std::string& s) -> Result<Currency> { return Currency::Parse(s); },
                        [](const DateTime&) -> Result<Currency> { return Mismatch(); },
                        [](int32_t i) -> Result<Currency> { return Currency::FromInt(i); },
                        [](Currency c) -> Result<Currency> { return c; },
                        [](bool b) -> Result<Currency> { return Currency::FromInt(b ? -1 : 0); },
                    },
                    v_);
}

Result<DateTime> Value::AsDate() const {
  return std::visit(Overload{
                        [](const Null&) -> Result<DateTime> { return NullErr(); },
                        [](const std::string& s) -> Result<DateTime> { return DateTime::Parse(s); },
                        [](const DateTime& d) -> Result<DateTime> { return d; },
                        [](int32_t) -> Result<DateTime> { return Mismatch(); },
                        [](Currency) -> Result<DateTime> { return Mismatch(); },
                        [](bool) -> Result<DateTime> { return Mismatch(); },
                    },
                    v_);
}

Result<bool> Value::AsBool() const {
  return std::visit(Overload{
                        [](const Null&) -> Result<bool> { return NullErr(); },
                        [](const std::string& s) -> Result<bool> {
                          if (s == "True" || s == "true" || s == "1" || s == "-1") return true;
                          if (s == "False" || s == "false" || s == "0") return false;
                          return Mismatch();
                        },
                        [](const DateTime&) -> Result<bool> { return Mismatch(); },
                        [](int32_t i) -> Result<bool> { return i != 0; },
                        [](Currency c) -> Result<bool> { return c.scaled() != 0; },
                        [](bool b) -> Result<bool> { return b; },
                    },
                    v_);
}

}  // namespace base
