// Variant: one argument or result at the component boundary: a value of
// one of the parameter types, or a rowset (possibly none).
#ifndef PLEXAVO_BOUNDARY_VARIANT_H_
#define PLEXAVO_BOUNDARY_VARIANT_H_

#include <optional>
#include <vector>

#include "base/rowset.h"
#include "base/value.h"
#include "boundary/interfaces.h"

namespace boundary {

struct Variant {
  ParamType type = ParamType::kText;
  base::Value value;                   // every type but rowset
  std::optional<base::Rowset> rowset;  // rowset; nullopt is "no rowset"

  static Variant Text(std::string v) { return {ParamType::kText, base::Value(std::move(v)), {}}; }
  static Variant Date(base::DateTime v) { return {ParamType::kDate, base::Value(v), {}}; }
  static Variant Int(int32_t v) { return {ParamType::kInt, base::Value(v), {}}; }
  static Variant Cur(base::Currency v) { return {ParamType::kCurrency, base::Value(v), {}}; }
  static Variant Bool(bool v) { return {ParamType::kBool, base::Value(v), {}}; }
  static Variant Rows(std::optional<base::Rowset> v) {
    return {ParamType::kRowset, base::Value(), std::move(v)};
  }
};

using Args = std::vector<Variant>;

// The rowset field type that holds values of a boundary type (a rowset
// parameter has none; text is answered for it).
inline base::FieldType FieldTypeOf(ParamType type) {
  switch (type) {
    case ParamType::kDate:
      return base::FieldType::kDate;
    case ParamType::kInt:
      return base::FieldType::kInt;
    case ParamType::kCurrency:
      return base::FieldType::kCurrency;
    case ParamType::kBool:
      return base::FieldType::kBool;
    case ParamType::kText:
    case ParamType::kRowset:
      break;
  }
  return base::FieldType::kText;
}

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_VARIANT_H_
