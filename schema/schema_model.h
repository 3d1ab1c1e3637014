// SchemaModel: the tables, columns, keys and indexes that the numbered
// migrations leave behind, read from the migrations' own statement texts so
// that whatever describes the schema cannot drift from it.
//
// The reader understands the statement shapes the migrations use: CREATE
// TABLE, CREATE [UNIQUE] INDEX, ALTER TABLE ... ADD / DROP / RENAME COLUMN,
// ALTER TABLE ... ALTER COLUMN (PostgreSQL type, default, NOT NULL), ALTER
// TABLE ... RENAME TO (a table rebuilt under another name and renamed back
// keeps its place and versions), DROP TABLE / INDEX, the block that gives
// listed tables' text columns the byte-order collation, and statements that
// only move data, change constraints or add triggers and functions
// (skipped). Any other statement is an error naming
// the migration and the statement, so that a new shape is taught here
// before the schema description can go stale.
#ifndef PLEXAVO_SCHEMA_SCHEMA_MODEL_H_
#define PLEXAVO_SCHEMA_SCHEMA_MODEL_H_

#include <string>
#include <vector>

#include "base/result.h"
#include "schema/migrations.h"

namespace schema {

struct ColumnModel {
  std::string name;
  std::string type;                  // as declared, with type tokens: "TEXT", "{CUR}", "{ID}"
  std::string postgres_type;         // an ALTER COLUMN ... TYPE on PostgreSQL; "" when none
  bool postgres_byte_order = false;  // text given the collation "C" by a later migration
  bool not_null = false;
  bool primary_key = false;   // alone or as part of the table's key
  std::string default_value;  // as written, "" for none
  int since = 0;              // the migration that added it
};

struct IndexModel {
  std::string name;
  bool unique = false;
  std::vector<std::string> columns;
};

struct TableModel {
  std::string name;
  int since = 0;
  std::vector<ColumnModel> columns;
  std::vector<IndexModel> indexes;

  const ColumnModel* Column(const std::string& name) const;
  std::vector<std::string> PrimaryKey() const;
};

struct SchemaModel {
  std::vector<TableModel> tables;  // in order of creation

  const TableModel* Table(const std::string& name) const;
};

// The schema after every migration of `migrations`, and the version table.
base::Result<SchemaModel> ReadSchemaModel(const std::vector<Migration>& migrations);

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_SCHEMA_MODEL_H_
