// Rowset: a detached table of named, typed fields. Query results are
// read-only copies of all their rows, owned by whoever holds the Rowset;
// the same type carries the caller's input line sets.
#ifndef PLEXAVO_BASE_ROWSET_H_
#define PLEXAVO_BASE_ROWSET_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "base/value.h"

namespace base {

struct Field {
  std::string name;
  FieldType type;
  bool operator==(const Field&) const = default;
};

class Rowset {
 public:
  Rowset() = default;
  explicit Rowset(std::vector<Field> fields) : fields_(std::move(fields)) {}

  const std::vector<Field>& fields() const { return fields_; }
  size_t RecordCount() const { return rows_.size(); }
  const std::vector<Value>& Row(size_t i) const { return rows_.at(i); }
  const std::vector<std::vector<Value>>& rows() const { return rows_; }

  // Appends a row; values must match the field count and each be NULL or of
  // its field's type.
  Status AddRow(std::vector<Value> values);

  // Position of a field by name (case-insensitive, as callers spell field
  // names freely); error 3265 when the rowset has no such field.
  Result<size_t> FieldIndex(std::string_view name) const;
  // Value of a named field in row i.
  Result<Value> Get(size_t row, std::string_view name) const;

  bool operator==(const Rowset&) const = default;

 private:
  std::vector<Field> fields_;
  std::vector<std::vector<Value>> rows_;
};

}  // namespace base

#endif  // PLEXAVO_BASE_ROWSET_H_
