#include "base/rowset.h"

#include <strings.h>

namespace base {

Status Rowset::AddRow(std::vector<Value> values) {
  if (values.size() != fields_.size()) {
    return MakeErr(kErrInvalidArgument, "row has " + std::to_string(values.size()) +
                                            " values for " + std::to_string(fields_.size()) +
                                            " fields");
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (!values[i].IsNull() && !values[i].Is(fields_[i].type)) {
      return MakeErr(kErrTypeMismatch, "Type mismatch in field " + fields_[i].name);
    }
  }
  rows_.push_back(std::move(values));
  return OkStatus();
}

Result<size_t> Rowset::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name.size() == name.size() &&
        strncasecmp(fields_[i].name.data(), name.data(), name.size()) == 0) {
      return i;
    }
  }
  return MakeErr(kErrFieldNotFound,
                 "Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal: " +
                     std::string(name));
}

Result<Value> Rowset::Get(size_t row, std::string_view name) const {
  PLX_ASSIGN_OR_RETURN(size_t col, FieldIndex(name));
  if (row >= rows_.size()) {
    return MakeErr(kErrNoCurrentRecord,
                   "Either BOF or EOF is True, or the current record has been deleted.");
  }
  return rows_[row][col];
}

}  // namespace base
