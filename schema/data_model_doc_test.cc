#include "schema/data_model_doc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/ascii.h"
#include "tests/test_company.h"

namespace schema {
namespace {

using testing_support::TestCompany;

TEST(DataModelDocTest, CommittedDocumentIsTheRenderedOne) {
  auto rendered = RenderDataModel();
  ASSERT_TRUE(rendered.ok()) << rendered.err().description;
  std::ifstream in(std::string(PLEXAVO_SOURCE_DIR) + "/docs/data-model.md", std::ios::binary);
  std::ostringstream committed;
  committed << in.rdbuf();
  EXPECT_TRUE(committed.str() == *rendered)
      << "docs/data-model.md differs from what the migrations and schema/data_model_notes.cc "
         "say.\nRegenerate it from the source directory with the freshly built tool:\n  "
      << kDataModelCommand;
}

// The model read from the statements must have the columns, nullability and
// keys that the database really has after initdb.
TEST(DataModelDocTest, ModelMatchesTheInitialisedDatabase) {
  TestCompany company;
  auto model = ReadSchemaModel(Migrations());
  ASSERT_TRUE(model.ok()) << model.err().description;
  const std::string sql =
      testing_support::UsingPostgres()
          ? "SELECT column_name, CASE WHEN is_nullable = 'NO' THEN 1 ELSE 0 END "
            "FROM information_schema.columns WHERE table_schema = current_schema() "
            "AND table_name = :t ORDER BY ordinal_position"
          : "SELECT name, \"notnull\" OR pk > 0 FROM pragma_table_info(:t) ORDER BY cid";
  for (const TableModel& t : model->tables) {
    std::string columns;  // "name|1" for a column that must not be null
    for (const ColumnModel& c : t.columns) {
      columns +=
          (columns.empty() ? "" : ";") + base::AsciiLower(c.name) + (c.not_null ? "|1" : "|0");
    }
    const std::string table = testing_support::UsingPostgres() ? base::AsciiLower(t.name) : t.name;
    EXPECT_EQ(base::AsciiLower(company.Rows(sql, "ti", {{"t", table}})), columns) << t.name;
  }
}

// Columns added, dropped and retyped, indexes dropped and added, and a table
// rebuilt under another name and renamed back.
TEST(SchemaModelTest, FollowsLaterMigrations) {
  const std::vector<Migration> migrations = {
      {1,
       "first",
       {"CREATE TABLE T (ID TEXT NOT NULL, N INTEGER DEFAULT -1, Q {CUR} NOT NULL DEFAULT 0, "
        "Old TEXT, PRIMARY KEY (ID))",
        "CREATE INDEX T_N ON T (N, Q)", "CREATE TABLE L (ID {ID}, Who TEXT DEFAULT '')",
        "CREATE TABLE A (ID TEXT NOT NULL PRIMARY KEY, Memo TEXT)", "CREATE TABLE B (X INTEGER)"},
       {"DO $$ BEGIN ... TYPE TEXT COLLATE \"C\"' ... table_name IN ('t', 'other') ... END $$"}},
      {2,
       "second",
       {"ALTER TABLE T ADD COLUMN Added {TEXT} NOT NULL DEFAULT 'x'",
        "ALTER TABLE T DROP COLUMN Old", "DROP INDEX T_N",
        "CREATE UNIQUE INDEX IF NOT EXISTS T_Q ON T (Q)", "UPDATE T SET N = 0",
        "CREATE TRIGGER T_count AFTER INSERT ON T BEGIN SELECT 1; END",
        "CREATE TABLE A_new (ID TEXT NOT NULL PRIMARY KEY, Memo TEXT CHECK (length(Memo) <= 255), "
        "Extra INTEGER NOT NULL DEFAULT 0)",
        "INSERT INTO A_new (ID, Memo) SELECT ID, Memo FROM A", "DROP TABLE A",
        "ALTER TABLE A_new RENAME TO A", "ALTER TABLE B ADD CONSTRAINT x CHECK (X > 0)",
        "ALTER TABLE B RENAME X TO Y"},
       {"ALTER TABLE T ALTER COLUMN ID TYPE VARCHAR(12) COLLATE \"C\""}},
  };
  auto model = ReadSchemaModel(migrations);
  ASSERT_TRUE(model.ok()) << model.err().description;
  ASSERT_EQ(model->tables.size(), 5u);  // the version table, T, L, A and B
  const TableModel& t = *model->Table("t");
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_EQ(t.PrimaryKey(), std::vector<std::string>{"ID"});
  EXPECT_EQ(t.Column("ID")->postgres_type, "VARCHAR(12) COLLATE \"C\"");
  EXPECT_TRUE(t.Column("ID")->postgres_byte_order);
  EXPECT_EQ(t.Column("N")->default_value, "-1");
  EXPECT_FALSE(t.Column("N")->not_null);
  EXPECT_EQ(t.Column("Q")->type, "{CUR}");
  EXPECT_TRUE(t.Column("Q")->not_null);
  EXPECT_EQ(t.Column("Added")->since, 2);
  EXPECT_EQ(t.Column("Added")->default_value, "'x'");
  EXPECT_EQ(t.Column("Old"), nullptr);
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.indexes[0].name, "T_Q");
  EXPECT_TRUE(t.indexes[0].unique);
  const TableModel& l = *model->Table("L");
  EXPECT_TRUE(l.Column("ID")->primary_key);
  EXPECT_FALSE(l.Column("Who")->postgres_byte_order);  // L is not in the block's list
  const TableModel& a = model->tables[3];
  EXPECT_EQ(a.name, "A");  // in its old place, before B
  EXPECT_EQ(a.since, 1);
  EXPECT_EQ(a.Column("Memo")->since, 1);
  EXPECT_EQ(a.Column("Extra")->since, 2);
  EXPECT_EQ(model->Table("A_new"), nullptr);
  EXPECT_NE(model->Table("B")->Column("Y"), nullptr);
}

TEST(SchemaModelTest, RefusesStatementsItCannotRead) {
  const struct {
    const char* statement;
    const char* says;
  } cases[] = {
      {"CREATE VIEW V AS SELECT 1", "a statement of a shape it does not read"},
      {"ALTER TABLE Missing ADD COLUMN X TEXT", "no table Missing"},
      {"ALTER TABLE PX_SchemaVersion SET SCHEMA other", "an ALTER TABLE it does not read"},
      {"ALTER TABLE PX_SchemaVersion ALTER COLUMN Applied TYPE VARCHAR(20)",
       "a type change outside the PostgreSQL-only statements"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    auto model = ReadSchemaModel({{7, "x", {c.statement}}});
    ASSERT_FALSE(model.ok());
    EXPECT_NE(model.err().description.find("schema version 7: " + std::string(c.says)),
              std::string::npos)
        << model.err().description;
    EXPECT_NE(model.err().description.find("schema/schema_model.cc"), std::string::npos);
  }
}

TEST(DataModelDocTest, NamesEveryNoteThatIsMissingOrStale) {
  const std::vector<Migration> migrations = {
      {1, "t", {"CREATE TABLE T (ID TEXT NOT NULL PRIMARY KEY, Fresh INTEGER)"}}};
  auto model = ReadSchemaModel(migrations);
  ASSERT_TRUE(model.ok());
  const std::vector<TableNote> notes = {
      {"PX_SchemaVersion", "w", "", "m", {{"Version", "v"}, {"Applied", "a"}}},
      {"T", "w", "", "m", {{"ID", "i"}, {"Gone", "g"}}},
      {"Dropped", "w", "", "m", {}},
  };
  EXPECT_EQ(MissingNotes(*model, notes),
            (std::vector<std::string>{
                "column T.Fresh has no note in schema/data_model_notes.cc: add {\"Fresh\", "
                "\"what it means\"} to the entry of T",
                "the note on T.Gone in schema/data_model_notes.cc names no column of the schema: "
                "remove or rename it",
                "the entry of Dropped in schema/data_model_notes.cc names no table of the schema: "
                "remove or rename it"}));
  auto doc = RenderDataModel(*model, notes);
  ASSERT_FALSE(doc.ok());
  EXPECT_NE(doc.err().description.find("T.Fresh"), std::string::npos);
}

TEST(DataModelDocTest, RendersTypesPerBackend) {
  auto doc = RenderDataModel();
  ASSERT_TRUE(doc.ok()) << doc.err().description;
  for (const char* row : {
           "| `Qty` | currency | INTEGER | NUMERIC(19,4) | no | `0` |  | Quantity on hand, in "
           "stock units. |",
           "| `ID` | assigned integer | INTEGER | INTEGER GENERATED BY DEFAULT AS IDENTITY | no |  "
           "| key, assigned |",
           "| `BillID` | text | TEXT | TEXT COLLATE \"C\" | no |  | key | Bill number, exactly 12 "
           "characters",
           "| `ValidDate` | date | TEXT | DATE | yes |  |  |",
       }) {
    EXPECT_NE(doc->find(row), std::string::npos) << row;
  }
}

}  // namespace
}  // namespace schema
