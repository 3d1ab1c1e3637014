// What each table and column of the company database means and who writes
// it: the words of docs/data-model.md. The types, keys, defaults and indexes
// come from the migrations themselves (schema_model.h); this table holds
// only what the statements cannot say.
//
// Adding a migration: give every table it creates an entry, and every
// column it adds a line in its table's entry, in data_model_notes.cc; then
// regenerate the document with `plexavo schema doc > docs/data-model.md`.
#ifndef PLEXAVO_SCHEMA_DATA_MODEL_NOTES_H_
#define PLEXAVO_SCHEMA_DATA_MODEL_NOTES_H_

#include <vector>

namespace schema {

struct ColumnNote {
  const char* column;
  const char* meaning;
};

struct TableNote {
  const char* table;
  const char* written_by;  // this component, a sibling service, the admin tool, the rest of the ERP
  const char* loaded_by;   // the import kind that loads it ("" for none)
  const char* meaning;
  std::vector<ColumnNote> columns;
};

const std::vector<TableNote>& TableNotes();

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_DATA_MODEL_NOTES_H_
