// The largest text, in characters, that each text column of the bill tables
// holds. Writers refuse longer texts before they write (naming the field),
// and the database refuses them too, on every backend alike, except for the
// bill number: other writers of the shared table may store numbers of
// another length, which numbering copes with.
#ifndef PLEXAVO_SCHEMA_COLUMN_SIZES_H_
#define PLEXAVO_SCHEMA_COLUMN_SIZES_H_

#include <cstddef>

namespace schema {

// MF_OutBill
inline constexpr size_t kBillIdSize = 12;
inline constexpr size_t kOrdBillSize = 40;
inline constexpr size_t kOrdSortIdSize = 10;
inline constexpr size_t kCodeSize = 40;  // OpCateID, DeptID, ProjID, ItemID
inline constexpr size_t kNotesSize = 255;
inline constexpr size_t kPersonSize = 80;  // Operator, Maker, Execer
// MF_OutDetail
inline constexpr size_t kSortIdSize = 4;
inline constexpr size_t kMeasIdSize = 40;
inline constexpr size_t kShelfIdSize = 40;
inline constexpr size_t kSerialNoSize = 80;
inline constexpr size_t kMemoSize = 255;

// How many lines one bill may have when the company's settings section
// names no "MaxBillLines".
inline constexpr size_t kDefaultMaxBillLines = 10000;

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_COLUMN_SIZES_H_
