#include "schema/initdb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ascii.h"
#include "data/connection.h"
#include "schema/migrations.h"
#include "tests/test_company.h"

namespace schema {
namespace {

using testing_support::TestCompany;

// Takes a database back to before version 6: no kept answers, no token
// expiry, no change feed. The bounds on the bill tables' texts stay: the
// migration puts them in again as they are.
void UndoVersion6(const TestCompany& company) {
  company.Exec("DROP TABLE PX_Feed");
  company.Exec("DROP TABLE PX_FeedSeq");
  company.Exec("ALTER TABLE SM_UserToken DROP COLUMN Expires");
  company.Exec("DROP TABLE PX_IdempotencyKey");
  company.Exec("DELETE FROM PX_SchemaVersion WHERE Version >= 6");
}

// Takes away what schema version 5 added (the kept counts of bill numbers),
// as in a database that an older version of the component created.
void UndoVersion5(const TestCompany& company) {
  UndoVersion6(company);
  if (testing_support::UsingPostgres()) {
    company.Exec("DROP FUNCTION MF_OutBill_CountIDs() CASCADE");
    company.Exec("DROP FUNCTION MF_OutBill_ForgetIDs() CASCADE");
    company.Exec("DROP FUNCTION MF_BillIDCount_Add(TEXT, INTEGER)");
  } else {
    for (const char* event : {"Insert", "Delete", "Update"}) {
      company.Exec(std::string("DROP TRIGGER MF_OutBill_CountIDs_") + event);
    }
  }
  company.Exec("DROP TABLE MF_BillIDCount");
  company.Exec("DELETE FROM PX_SchemaVersion WHERE Version >= 5");
}

TEST(InitDbTest, AnOlderDatabaseGetsTheCountsOfItsBillNumbers) {
  TestCompany company;
  UndoVersion5(company);
  company.Exec(
      "INSERT INTO MF_OutBill (BillID) VALUES ('202612060001'), ('202612060002'), "
      "('2026120600003'), ('202612070001'), ('20261206000X'), ('202612060000')");
  auto report = InitDb(company.target());
  ASSERT_TRUE(report.ok()) << report.err().description;
  EXPECT_EQ(report->from_version, 4);
  EXPECT_EQ(company.Rows("SELECT Prefix, Used, Odd FROM MF_BillIDCount ORDER BY Prefix", "tii"),
            "202612|5|1;20261206|3|1;20261207|1|0");
}

TEST(InitDbTest, IsIdempotentAndRecordsTheVersion) {
  TestCompany company;  // already brought up to date once
  EXPECT_EQ(SchemaVersion(company.target()).value(), LatestVersion());
  company.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('IDMode', '1')");
  auto again = InitDb(company.target());
  ASSERT_TRUE(again.ok()) << again.err().description;
  EXPECT_EQ(company.Text("SELECT Value FROM SM_Config WHERE ID = 'IDMode'"), "1");
  EXPECT_EQ(company.Count("PX_SchemaVersion"), static_cast<int64_t>(Migrations().size()));
}

TEST(InitDbTest, RowsNamingOnlyTheSharedColumnsGoIn) {
  TestCompany company;
  // What other components insert: only the columns they know.
  company.Exec(
      "INSERT INTO MF_OutBill (BillID, Date, OrdBill, OrdSortID, OpCateID, DeptID, ProjID, "
      "ItemID, Notes, Operator, Maker) VALUES ('202612060001', '2026-12-06', 'MO1', '', NULL, "
      "NULL, NULL, NULL, 'n', 'op', 'Amy')");
  company.Exec(
      "INSERT INTO MF_OutDetail (BillID, SortID, ArtID, MeasID, ShelfID, SerialNo, ValidDate, "
      "Qty, StQty, Memo, OrdBomID) VALUES ('202612060001', '1', 7, 'box', 'S1', '', NULL, :q, "
      ":q, '', 0)",
      {{"q", base::Currency::FromInt(3)}});
  company.Exec(
      "INSERT INTO MF_OrdBom (BillID, SortID, ArtID, SerialNo, UseDate, OutQty, Qty, NetQty, "
      "AddQty) VALUES ('MO1', '', 7, '', '2026-12-06', :q, 0, 0, 0), "
      "('MO1', '', 8, '', '2026-12-06', 0, 0, 0, 0)",
      {{"q", base::Currency::FromInt(3)}});
  company.Exec("INSERT INTO MF_OrdDetail (BillID, SortID) VALUES ('MO1', '1')");
  company.Exec(
      "INSERT INTO MF_InDetail (BillID, OutBillID) VALUES ('R1', '202612060001'), "
      "('R1', '202612060002')");
  company.Exec(
      "INSERT INTO SM_UseLog (UserName, Date, Component, LogDesc) VALUES ('amy', "
      "'2026-12-06 07:08:09', 'c', 'd')");

  EXPECT_EQ(company.Rows("SELECT Version, ExeDate FROM MF_OutBill", "it"), "0|<null>");
  EXPECT_EQ(company.Rows("SELECT UnQty FROM MF_OutDetail", "c"), "0");
  EXPECT_EQ(company.Text("SELECT BegFlag FROM MF_OrdDetail"), "0");
  EXPECT_EQ(company.Rows("SELECT ArtID FROM MF_OrdBom ORDER BY ID", "i"), "7;8");  // keys ascend
  EXPECT_EQ(company.Rows("SELECT Date FROM SM_UseLog", "d"), "2026-12-06T07:08:09");
}

// Texts that a language collation (en_US.UTF-8) orders differently from
// their bytes: case, punctuation ignored at first, ':' before the digits.
const std::vector<std::string> kCollationProbe = {
    "20261206:", "202612060001", "2026120600-2", "AB3", "a b", "ab-2", "ab1", "b"};

// Orders and compares the key columns byte by byte.
void ExpectByteOrder(const TestCompany& company) {
  for (const std::string& id : kCollationProbe) {
    company.Exec("INSERT INTO MF_OutBill (BillID) VALUES (:id)", {{"id", id}});
    company.Exec("INSERT INTO ST_Shelf (ID) VALUES (:id)", {{"id", id}});
    // Line numbers have at most four characters: those of the probe that fit.
    if (id.size() <= 4) {
      company.Exec("INSERT INTO MF_OutDetail (BillID, SortID) VALUES ('B', :id)", {{"id", id}});
    }
  }
  const std::string in_byte_order = "2026120600-2;202612060001;20261206:;AB3;a b;ab-2;ab1;b";
  EXPECT_EQ(company.Rows("SELECT BillID FROM MF_OutBill ORDER BY BillID", "t"), in_byte_order);
  EXPECT_EQ(company.Rows("SELECT ID FROM ST_Shelf ORDER BY ID", "t"), in_byte_order);
  EXPECT_EQ(company.Rows("SELECT SortID FROM MF_OutDetail ORDER BY SortID", "t"),
            "AB3;a b;ab-2;ab1;b");
  EXPECT_EQ(company.Rows("SELECT BillID FROM MF_OutBill WHERE BillID > '20261206' AND "
                         "BillID < '20261206:' ORDER BY BillID",
                         "t"),
            "2026120600-2;202612060001");
  EXPECT_EQ(company.Text("SELECT MAX(BillID) FROM MF_OutBill WHERE BillID < 'a'"), "AB3");
}

TEST(InitDbTest, KeyColumnsOrderByteByByte) {
  TestCompany company;
  ExpectByteOrder(company);
}

TEST(InitDbTest, AnOlderPostgresDatabaseIsBroughtToByteOrder) {
  if (!testing_support::UsingPostgres()) GTEST_SKIP() << "SQLite always compares byte by byte";
  TestCompany company;
  UndoVersion5(company);
  // As a version-3 database left it: key columns in the server's collation.
  for (const char* column : {"MF_OutBill ALTER COLUMN BillID", "MF_OutDetail ALTER COLUMN SortID",
                             "ST_Shelf ALTER COLUMN ID"}) {
    company.Exec(std::string("ALTER TABLE ") + column + " TYPE TEXT COLLATE \"default\"");
  }
  company.Exec("DELETE FROM PX_SchemaVersion WHERE Version > 3");
  EXPECT_EQ(company.Text("SELECT COUNT(*) FROM information_schema.columns WHERE "
                         "table_name = 'mf_outbill' AND column_name = 'billid' AND "
                         "collation_name IS NULL"),
            "1");
  auto report = InitDb(company.target());
  ASSERT_TRUE(report.ok()) << report.err().description;
  EXPECT_EQ(report->from_version, 3);
  EXPECT_EQ(company.Text("SELECT COUNT(*) FROM information_schema.columns WHERE "
                         "table_schema = current_schema() AND data_type = 'text' AND "
                         "table_name LIKE 'mf\\_%' AND collation_name IS DISTINCT FROM 'C'"),
            "0");
  ExpectByteOrder(company);
}

// The schema bounds the bill texts on every backend: a text longer than
// its column is refused by the database itself, naming the column.
TEST(ColumnLimitsTest, TheDatabaseRefusesOversizedTextsOnEveryBackend) {
  TestCompany company;
  data::Connection cnn;
  ASSERT_TRUE(cnn.Open(company.target(), nullptr).ok());
  const struct {
    std::string sql;
    std::string column;
  } cases[] = {
      {"INSERT INTO MF_OutBill (BillID, Operator) VALUES ('202612060001', '" +
           std::string(81, 'o') + "')",
       "Operator"},
      {"INSERT INTO MF_OutDetail (BillID, SortID, SerialNo) VALUES ('202612060001', '1', '" +
           std::string(1024 * 1024, 's') + "')",
       "SerialNo"},
      {"INSERT INTO MF_OutDetail (BillID, SortID) VALUES ('202612060001', '12345')", "SortID"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    auto done = cnn.Execute(data::Sql(c.sql));
    ASSERT_FALSE(done.ok());
    // The database's own message names the column; the statement and its
    // values are not repeated in it.
    EXPECT_NE(base::AsciiLower(done.err().description).find(base::AsciiLower(c.column)),
              std::string::npos)
        << done.err().description;
    EXPECT_EQ(done.err().description.find("INSERT"), std::string::npos) << done.err().description;
  }
  // Updates are bounded too.
  company.Exec("INSERT INTO MF_OutBill (BillID, Notes) VALUES ('202612060002', 'n')");
  EXPECT_FALSE(cnn.Execute(data::Sql("UPDATE MF_OutBill SET Maker = '" + std::string(81, 'm') +
                                     "' WHERE BillID = '202612060002'"))
                   .ok());
}

// Each backend's column types are compared with the committed data model
// document (data_model_doc_test); the key that SQLite assigns is not there.
TEST(RenderTest, SqliteAssignsKeysNeverUsedBefore) {
  EXPECT_EQ(Render("{ID}", data::Dialect(data::Backend::kSqlite)),
            "INTEGER PRIMARY KEY AUTOINCREMENT");
}

}  // namespace
}  // namespace schema
