// The kinds of master data that `plexavo import` and `export` move: for
// each, its table, its columns (the CSV header names them), its key, what
// an empty cell stores, and the rows its values must refer to.
#ifndef PLEXAVO_MASTERDATA_KINDS_H_
#define PLEXAVO_MASTERDATA_KINDS_H_

#include <string>
#include <vector>

#include "base/value.h"

namespace masterdata {

enum class CellType { kText, kInt, kCurrency, kDate, kFlag };

// A row another table must hold for a value: "no <noun> 'value'" otherwise.
struct Reference {
  const char* table;
  const char* column;
  const char* noun;
};

struct KindColumn {
  const char* name;  // header name = column name of the table
  CellType type;
  bool key = false;
  // What an empty cell stores: nullptr NULL, "" the empty text, else the
  // value written out ("0"). kRequired: an empty cell is refused.
  const char* empty = nullptr;
  const Reference* refers_to = nullptr;  // checked for non-empty values
  // A further check of a parsed value: the refusal, or nullptr when fine.
  const char* (*check)(const base::Value& v) = nullptr;
  // The column lives in the kind's side table (same key), not its main one.
  bool side = false;
  // The database assigns the key when the cell is empty.
  bool assigned = false;
};

// The `empty` of a column whose cells must not be empty (compared by address).
extern const char kRequired[];

struct Kind {
  const char* name;  // "articles"
  const char* table;
  const char* side_table;  // nullptr, or a table keyed like `table` ("FD_ArtStore")
  const char* summary;
  std::vector<KindColumn> columns;

  std::vector<const KindColumn*> Keys() const;
  const KindColumn* Column(const std::string& name) const;  // case-insensitive
};

const std::vector<Kind>& Kinds();
// The kind of that name, or nullptr.
const Kind* FindKind(const std::string& name);
// "articles, units, ..." for messages.
std::string KindNames();

}  // namespace masterdata

#endif  // PLEXAVO_MASTERDATA_KINDS_H_
