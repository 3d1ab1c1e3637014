// Column tables: one table per query result, from which the query's select
// list, the fields its rows are read into and the index of each column all
// follow, so that they cannot drift apart.
//
//   constexpr std::array kHeader = {
//       data::Column{"MF_OutBill.Date", "Date", base::FieldType::kDate},
//       data::Column{"FD_Item.Name", "ItemName", base::FieldType::kText}};
//   "SELECT " + data::SelectList(kHeader)  // MF_OutBill.Date, FD_Item.Name AS ItemName
//   data::FieldsOf(kHeader)                // {"Date", kDate}, {"ItemName", kText}
//   row[data::IndexOf(kHeader, "ItemName")]  // 1, or no compilation when misspelt
#ifndef PLEXAVO_DATA_COLUMNS_H_
#define PLEXAVO_DATA_COLUMNS_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/rowset.h"

namespace data {

struct Column {
  std::string_view sql;   // the selected expression
  std::string_view name;  // the field's name, and the alias where the expression's differs
  base::FieldType type;
};

// The expression's own name: what follows its last '.'.
constexpr std::string_view OwnName(std::string_view sql) {
  const size_t dot = sql.rfind('.');
  return dot == std::string_view::npos ? sql : sql.substr(dot + 1);
}

template <size_t N>
std::string SelectList(const std::array<Column, N>& columns) {
  std::string list;
  for (const Column& c : columns) {
    if (!list.empty()) list += ", ";
    list += c.sql;
    if (OwnName(c.sql) != c.name) (list += " AS ") += c.name;
  }
  return list;
}

template <size_t N>
std::vector<base::Field> FieldsOf(const std::array<Column, N>& columns) {
  std::vector<base::Field> fields;
  for (const Column& c : columns) fields.push_back({std::string(c.name), c.type});
  return fields;
}

// The index of the named column, decided when compiling.
template <size_t N>
consteval size_t IndexOf(const std::array<Column, N>& columns, std::string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (columns[i].name == name) return i;
  }
  throw "no column of that name";
}

}  // namespace data

#endif  // PLEXAVO_DATA_COLUMNS_H_
