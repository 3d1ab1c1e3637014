#include "masterdata/import.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/test_company.h"

namespace masterdata {
namespace {

using testing_support::TestCompany;

std::string DemoFile(const std::string& kind) {
  std::ifstream in(std::string(PLEXAVO_SOURCE_DIR) + "/share/demo/" + kind + ".csv",
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

base::Result<int64_t> ImportText(const TestCompany& company, const std::string& kind,
                                 const std::string& csv) {
  std::istringstream in(csv);
  return Import(company.target(), *FindKind(kind), in);
}

std::string ExportText(const TestCompany& company, const std::string& kind) {
  std::ostringstream out;
  auto rows = Export(company.target(), *FindKind(kind), out);
  EXPECT_TRUE(rows.ok()) << kind << ": " << rows.err().description;
  return out.str();
}

std::string WithoutCr(std::string s) {
  std::string out;
  for (char c : s) {
    if (c != '\r') out += c;
  }
  return out;
}

// The users the demo's depot rights name.
void AddDemoUsers(const TestCompany& company) {
  company.AddUser("admin", "Admin");
  company.AddUser("li", "Li");
}

void ImportDemo(const TestCompany& company) {
  AddDemoUsers(company);
  for (const Kind& kind : Kinds()) {
    auto rows = ImportText(company, kind.name, DemoFile(kind.name));
    ASSERT_TRUE(rows.ok()) << kind.name << ": " << rows.err().description;
  }
}

TEST(ImportTest, EveryKindRoundTripsThroughAnEmptyCompany) {
  TestCompany first;
  ImportDemo(first);
  std::map<std::string, std::string> exported;
  for (const Kind& kind : Kinds()) {
    exported[kind.name] = ExportText(first, kind.name);
    // The demo files are written as an export writes them (bar line ends),
    // so every value came back exactly as given.
    EXPECT_EQ(WithoutCr(exported[kind.name]), DemoFile(kind.name)) << kind.name;
  }
  TestCompany second;
  AddDemoUsers(second);
  for (const Kind& kind : Kinds()) {
    auto rows = ImportText(second, kind.name, exported[kind.name]);
    ASSERT_TRUE(rows.ok()) << kind.name << ": " << rows.err().description;
    EXPECT_EQ(ExportText(second, kind.name), exported[kind.name]) << kind.name;
  }
}

TEST(ImportTest, KeepsTextsAndQuantitiesAsGiven) {
  TestCompany company;
  ASSERT_TRUE(
      ImportText(company, "depots", "ID,Name\nD1,\"Hall \"\"A\"\", north, \nrow 2\"\n").ok());
  EXPECT_EQ(company.Text("SELECT Name FROM ST_Depot WHERE ID = 'D1'"),
            "Hall \"A\", north, \nrow 2");
  ASSERT_TRUE(ImportText(company, "shelves", "ID,DepotID\nS1,D1\n").ok());
  ASSERT_TRUE(ImportText(company, "articles", "ID\n7\n").ok());
  ASSERT_TRUE(ImportText(company, "balances",
                         "ShelfID,ArtID,SerialNo,Qty\nS1,7,,922337203685477.5807\nS1,7,b,-0.0001\n")
                  .ok());
  base::Rowset rs = company.Query("SELECT Qty FROM ST_ShelfBal ORDER BY SerialNo",
                                  {{"Qty", base::FieldType::kCurrency}});
  ASSERT_EQ(rs.RecordCount(), 2u);
  EXPECT_EQ(rs.Row(0)[0].AsCurrency()->scaled(), INT64_MAX);
  EXPECT_EQ(rs.Row(1)[0].AsCurrency()->scaled(), -1);
  EXPECT_EQ(company.Text("SELECT SerialNo FROM ST_ShelfBal WHERE Qty < 0"), "b");
  EXPECT_EQ(company.Text("SELECT '[' || SerialNo || ']' FROM ST_ShelfBal WHERE Qty > 0"), "[]");
}

TEST(ImportTest, RefusesTheWholeFileListingEveryBadRow) {
  TestCompany company;
  AddDemoUsers(company);
  for (const char* kind : {"depots", "shelves", "articles", "units"}) {
    ASSERT_TRUE(ImportText(company, kind, DemoFile(kind)).ok()) << kind;
  }
  ASSERT_TRUE(ImportText(company, "balances", "ShelfID,ArtID,Qty\nA-01,1001,5\n").ok());
  const std::string kHead = " in the balances file; nothing was written:\n";
  const struct {
    const char* name;
    const char* kind;
    std::string csv;
    std::string error;
  } cases[] = {
      {"unknown column", "depots", "ID,Name,Colour\nX,x,red\n",
       "1 problem in the depots file; nothing was written:\n"
       "line 1, column Colour: unknown column (depots has ID, Name)"},
      {"column without a name", "depots", "ID,Name,\nX,x,\n",
       "1 problem in the depots file; nothing was written:\n"
       "line 1, column 3: a column without a name"},
      {"key column missing", "balances", "ShelfID,Qty\nA-01,1\n",
       "1 problem" + kHead + "line 1, column ArtID: missing: the column must be there"},
      {"wrong type", "balances", "ShelfID,ArtID,Qty\nA-01,1002,9\nA-01,abc,1\n",
       "1 problem" + kHead + "line 3, column ArtID: not a whole number: 'abc'"},
      {"more than 4 decimals", "balances", "ShelfID,ArtID,Qty\nA-01,1002,1.00001\n",
       "1 problem" + kHead + "line 2, column Qty: more than 4 decimals: '1.00001'"},
      {"a date that does not exist", "orders", "BillID,Date\nMO-9,2026-01-31\nMO-8,2026-02-30\n",
       "1 problem in the orders file; nothing was written:\n"
       "line 3, column Date: no such date: '2026-02-30'"},
      {"missing article and shelf", "balances", "ShelfID,ArtID,Qty\nZ-9,1001,1\nA-01,999,1\n",
       "2 problems" + kHead + "line 2, column ShelfID: no shelf 'Z-9'\n" +
           "line 3, column ArtID: no article 999"},
      {"duplicate key", "balances",
       "ShelfID,ArtID,SerialNo,Qty\nA-01,1002,,1\nA-02,1002,,1\nA-01,1002,,2\n",
       "1 problem" + kHead + "line 4, column ShelfID+ArtID+SerialNo: the same key as line 2"},
      {"every bad row, quoted line breaks counted", "balances",
       "ShelfID,ArtID,SerialNo,Qty\nA-01,1002,\"two\nlines\",1\nA-01,x,,1.123456\n"
       "A-02,1001,,\nA-02,1001\n",
       "4 problems" + kHead + "line 4, column ArtID: not a whole number: 'x'\n" +
           "line 4, column Qty: more than 4 decimals: '1.123456'\n" +
           "line 5, column Qty: must not be empty\n" + "line 6: 2 fields, the header has 4"},
      {"a check of the kind", "units", "ID,MeasID,Den\n1001,dozen,0\n",
       "1 problem in the units file; nothing was written:\n"
       "line 2, column Den: must be greater than 0: '0'"},
      {"a reference to a missing user", "depot-rights",
       "LoginName,DepotID,Direction\nnobody,WH-A,2\nli,WH-A,3\n",
       "2 problems in the depot-rights file; nothing was written:\n"
       "line 2, column LoginName: no user 'nobody'\n"
       "line 3, column Direction: must be 1 (stock-in) or 2 (stock-out): '3'"},
      {"broken quoting", "depots", "ID,Name\nX,\"open\n",
       "1 problem in the depots file; nothing was written:\n"
       "line 2: a quoted field is not closed"},
      {"empty file", "depots", "",
       "1 problem in the depots file; nothing was written:\n"
       "line 1: the file is empty; its first line must name the columns"},
      {"not UTF-8", "depots", "ID,Name\nX,caf\xE9\n",
       "1 problem in the depots file; nothing was written:\n"
       "line 2, column Name: not UTF-8 text"},
  };
  const char* const kTables[] = {"ST_Depot", "ST_ShelfBal", "MF_Order", "FD_ArtMeas",
                                 "ST_DepotRight"};
  std::map<std::string, int64_t> before;
  for (const char* t : kTables) before[t] = company.Count(t);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto rows = ImportText(company, c.kind, c.csv);
    ASSERT_FALSE(rows.ok());
    EXPECT_EQ(rows.err().description, c.error);
    for (const char* t : kTables) EXPECT_EQ(company.Count(t), before[t]) << t;
    EXPECT_EQ(company.Text("SELECT Qty FROM ST_ShelfBal"),
              testing_support::UsingPostgres() ? "5.0000" : "50000");
  }
}

TEST(ImportTest, UpdatesRowsByKeyAndKeepsColumnsLeftOut) {
  TestCompany company;
  for (const char* kind : {"depots", "shelves", "articles"}) {
    ASSERT_TRUE(ImportText(company, kind, DemoFile(kind)).ok()) << kind;
  }
  // Empty rows that spreadsheets leave behind are skipped, not counted.
  auto depots = ImportText(company, "depots", "ID,Name\n\nWH-9,Yard\n,\r\n");
  ASSERT_TRUE(depots.ok()) << depots.err().description;
  EXPECT_EQ(*depots, 1);
  EXPECT_EQ(company.Count("ST_Depot"), 4);
  auto rows = ImportText(company, "articles", "name,ID\nBolt M6,1006\nNew one,2001\n");
  ASSERT_TRUE(rows.ok()) << rows.err().description;
  EXPECT_EQ(*rows, 2);
  EXPECT_EQ(company.Count("FD_Article"), 7);
  EXPECT_EQ(company.Text("SELECT Name || '/' || ArtCode || '/' || MeasID || '/' || ShelfID "
                         "FROM FD_Article WHERE ID = 1006"),
            "Bolt M6/PNT-GRY/kg/B-02");
  EXPECT_EQ(company.Text("SELECT KeepDay FROM FD_ArtStore WHERE ID = 1006"), "365");
  // A new article gets its defaults, and its stock settings row.
  EXPECT_EQ(company.Text("SELECT Serial || '/' || NonStandard FROM FD_Article WHERE ID = 2001"),
            "0/0");
  EXPECT_EQ(company.Text("SELECT KeepDay FROM FD_ArtStore WHERE ID = 2001"), "0");
  ASSERT_TRUE(ImportText(company, "articles", "ID,KeepDay,ShelfID\n2001,30,\n1006,,A-01\n").ok());
  EXPECT_EQ(company.Text("SELECT KeepDay FROM FD_ArtStore WHERE ID = 2001"), "30");
  EXPECT_EQ(company.Text("SELECT KeepDay FROM FD_ArtStore WHERE ID = 1006"), "0");
  EXPECT_EQ(company.Text("SELECT ShelfID FROM FD_Article WHERE ID = 2001"), "<null>");
  EXPECT_EQ(company.Text("SELECT ShelfID FROM FD_Article WHERE ID = 1006"), "A-01");
}

TEST(ImportTest, BomRowsKeepTheirKeysAndNewOnesFollowThem) {
  TestCompany company;
  company.Exec("INSERT INTO FD_Article (ID) VALUES (1), (2)");
  company.Exec("INSERT INTO MF_Order (BillID) VALUES ('MO')");
  auto rows = ImportText(company, "order-bom",
                         "ID,BillID,ArtID,Qty\n5,MO,1,2.5\n,MO,2,1\n3,MO,2,4\n,MO,1,7\n");
  ASSERT_TRUE(rows.ok()) << rows.err().description;
  base::Rowset rs = company.Query("SELECT ID, ArtID FROM MF_OrdBom ORDER BY ID",
                                  {{"ID", base::FieldType::kInt}, {"A", base::FieldType::kInt}});
  ASSERT_EQ(rs.RecordCount(), 4u);
  EXPECT_EQ(*rs.Row(0)[0].AsInt(), 3);
  EXPECT_EQ(*rs.Row(1)[0].AsInt(), 5);
  EXPECT_EQ(*rs.Row(2)[0].AsInt(), 6);  // assigned after the given 5
  EXPECT_EQ(*rs.Row(3)[0].AsInt(), 7);
  ASSERT_TRUE(ImportText(company, "order-bom", "ID,BillID,ArtID,Qty\n9,MO,2,1\n5,MO,2,8\n").ok());
  EXPECT_EQ(company.Text("SELECT ArtID FROM MF_OrdBom WHERE ID = 5"), "2");
  // Whoever inserts next (execution adding a BOM row) gets a fresh key.
  company.Exec("INSERT INTO MF_OrdBom (BillID, ArtID) VALUES ('MO', 1)");
  EXPECT_EQ(company.Text("SELECT MAX(ID) FROM MF_OrdBom"), "10");
  EXPECT_EQ(company.Count("MF_OrdBom"), 6);
}

}  // namespace
}  // namespace masterdata
