// One CSV cell read into a typed value, and a stored value written back as
// a cell, so that an exported file imports back unchanged:
//   text      as given (must be UTF-8)
//   int       decimal, optional sign, 32 bits
//   currency  decimal with at most 4 decimals ("12", "0.3333"), read and
//             written exactly, never through binary floating point
//   date      yyyy-mm-dd, a day that exists
//   flag      0 or 1
#ifndef PLEXAVO_MASTERDATA_CELLS_H_
#define PLEXAVO_MASTERDATA_CELLS_H_

#include <string>

#include "base/result.h"
#include "base/value.h"
#include "masterdata/kinds.h"

namespace masterdata {

// The value of a non-empty cell, or an error whose description is the
// refusal to show beside the line and column ("more than 4 decimals: ...").
base::Result<base::Value> ParseCell(CellType type, const std::string& text);

// The cell for a stored value; NULL is the empty cell.
std::string FormatCell(const base::Value& value);

// The type a value of the cell type is bound and read as.
base::FieldType FieldTypeOf(CellType type);

// Whether `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text);

}  // namespace masterdata

#endif  // PLEXAVO_MASTERDATA_CELLS_H_
