// The statements that load and list one kind of master data. Values are
// always bound: each statement comes with its parameters, named and typed
// in the order their values are given.
#ifndef PLEXAVO_MASTERDATA_KIND_SQL_H_
#define PLEXAVO_MASTERDATA_KIND_SQL_H_

#include <string>
#include <vector>

#include "base/rowset.h"
#include "masterdata/kinds.h"

namespace masterdata {

struct KindStatement {
  std::string text;
  std::vector<base::Field> params;
};

// Inserts a row of the kind's main table with the given columns, or, when
// a row with its key exists, sets those columns of that row. With
// `with_key` false the assigned key column is left out (a new row).
KindStatement UpsertRow(const Kind& kind, const std::vector<const KindColumn*>& columns,
                        bool with_key = true);

// Gives the row of the side table (same key) the side columns named, or
// adds it with its defaults when none is named. Values: the key columns in
// the order given, then the side columns.
KindStatement UpsertSideRow(const Kind& kind, const std::vector<const KindColumn*>& key,
                            const std::vector<const KindColumn*>& columns);

// Finds the row a reference names: one row when it exists.
KindStatement FindReferenced(const Reference& ref, CellType type);

// Every row of the kind, its side columns included, ordered by key.
std::string ListRows(const Kind& kind);
std::vector<base::Field> ListFields(const Kind& kind);

}  // namespace masterdata

#endif  // PLEXAVO_MASTERDATA_KIND_SQL_H_
