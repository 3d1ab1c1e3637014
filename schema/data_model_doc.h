// docs/data-model.md, rendered from the migrations and the notes of
// data_model_notes.cc. `plexavo schema doc` prints it; a test compares the
// committed document with it.
#ifndef PLEXAVO_SCHEMA_DATA_MODEL_DOC_H_
#define PLEXAVO_SCHEMA_DATA_MODEL_DOC_H_

#include <string>
#include <vector>

#include "base/result.h"
#include "schema/data_model_notes.h"
#include "schema/schema_model.h"

namespace schema {

// The command that regenerates the committed document.
inline constexpr const char* kDataModelCommand = "plexavo schema doc > docs/data-model.md";

// Every table and column of the model that has no note, and every note
// that names no table or column of the model, one line each saying what to
// do; empty when notes and model agree.
std::vector<std::string> MissingNotes(const SchemaModel& model,
                                      const std::vector<TableNote>& notes);

// The document for the model and notes; an error listing MissingNotes when
// they disagree.
base::Result<std::string> RenderDataModel(const SchemaModel& model,
                                          const std::vector<TableNote>& notes);

// The document for the migrations of this build.
base::Result<std::string> RenderDataModel();

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_DATA_MODEL_DOC_H_
