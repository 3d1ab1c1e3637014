#include "masterdata/import.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

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

// The number of rows imported, or the refusal's text.
std::string ImportText(const TestCompany& company, const std::string& kind,
                       const std::string& csv) {
  std::istringstream in(csv);
  auto rows = Import(company.target(), *FindKind(kind), in);
  return rows.ok() ? std::to_string(*rows) : rows.err().description;
}

std::string ExportText(const TestCompany& company, const std::string& kind) {
  std::ostringstream out;
  auto rows = Export(company.target(), *FindKind(kind), out);
  EXPECT_TRUE(rows.ok()) << kind << ": " << rows.err().description;
  return out.str();
}

// Adds the users the demo's depot rights name, then imports each of `kinds`
// (every kind when none are named) from the text `text_of` gives for it
// (its demo file unless told).
void ImportAll(const TestCompany& company, std::vector<std::string> kinds = {},
               const std::function<std::string(const std::string&)>& text_of = DemoFile) {
  if (kinds.empty()) {
    for (const Kind& kind : Kinds()) kinds.push_back(kind.name);
  }
  company.AddUser("admin", "Admin");
  company.AddUser("li", "Li");
  for (const std::string& kind : kinds) {
    const std::string rows = ImportText(company, kind, text_of(kind));
    ASSERT_EQ(rows.find_first_not_of("0123456789"), std::string::npos) << kind << ": " << rows;
  }
}

TEST(ImportTest, EveryKindRoundTripsThroughAnEmptyCompany) {
  TestCompany first, second;
  ImportAll(first);
  std::map<std::string, std::string> exported;
  for (const Kind& kind : Kinds()) {
    exported[kind.name] = ExportText(first, kind.name);
    // The demo files are written as an export writes them (bar line ends),
    // so every value came back exactly as given.
    std::string lf = exported[kind.name];
    std::erase(lf, '\r');
    EXPECT_EQ(lf, DemoFile(kind.name)) << kind.name;
  }
  ImportAll(second, {}, [&](const std::string& kind) { return exported[kind]; });
  for (const auto& [kind, text] : exported) EXPECT_EQ(ExportText(second, kind), text) << kind;
}

TEST(ImportTest, RefusesTheWholeFileListingEveryBadRow) {
  TestCompany company;
  ImportAll(company, {"depots", "shelves", "articles", "units"});
  ASSERT_EQ(ImportText(company, "balances", "ShelfID,ArtID,Qty\nA-01,1001,5\n"), "1");
  const struct {
    const char* name;
    const char* kind;
    std::string csv;
    const char* count;
    std::string problems;
  } cases[] = {
      {"unknown column", "depots", "ID,Name,Colour\nX,x,red\n", "1 problem",
       "line 1, column Colour: unknown column (depots has ID, Name)"},
      {"column without a name", "depots", "ID,Name,\nX,x,\n", "1 problem",
       "line 1, column 3: a column without a name"},
      {"key column missing", "balances", "ShelfID,Qty\nA-01,1\n", "1 problem",
       "line 1, column ArtID: missing: the column must be there"},
      {"missing article and shelf", "balances", "ShelfID,ArtID,Qty\nZ-9,1001,1\nA-01,999,1\n",
       "2 problems",
       "line 2, column ShelfID: no shelf 'Z-9'\nline 3, column ArtID: no article 999"},
      {"duplicate key", "balances",
       "ShelfID,ArtID,SerialNo,Qty\nA-01,1002,,1\nA-02,1002,,1\nA-01,1002,,2\n", "1 problem",
       "line 4, column ShelfID+ArtID+SerialNo: the same key as line 2"},
      {"every bad row (wrong types among them), quoted line breaks counted", "balances",
       "ShelfID,ArtID,SerialNo,Qty\nA-01,1002,\"two\nlines\",1\nA-01,x,,1.123456\n"
       "A-02,1001,,\nA-02,1001\n",
       "4 problems",
       "line 4, column ArtID: not a whole number: 'x'\n"
       "line 4, column Qty: more than 4 decimals: '1.123456'\n"
       "line 5, column Qty: must not be empty\nline 6: 2 fields, the header has 4"},
      {"a check of the kind", "units", "ID,MeasID,Den\n1001,dozen,0\n", "1 problem",
       "line 2, column Den: must be greater than 0: '0'"},
      {"a reference to a missing user", "depot-rights",
       "LoginName,DepotID,Direction\nnobody,WH-A,2\nli,WH-A,3\n", "2 problems",
       "line 2, column LoginName: no user 'nobody'\n"
       "line 3, column Direction: must be 1 (stock-in) or 2 (stock-out): '3'"},
      {"broken quoting", "depots", "ID,Name\nX,\"open\n", "1 problem",
       "line 2: a quoted field is not closed"},
      {"empty file", "depots", "", "1 problem",
       "line 1: the file is empty; its first line must name the columns"},
  };
  const std::string before = company.Dump();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ImportText(company, c.kind, c.csv), std::string(c.count) + " in the " + c.kind +
                                                      " file; nothing was written:\n" + c.problems);
    EXPECT_EQ(company.Dump(), before);
  }
}

TEST(ImportTest, UpdatesRowsByKeyAndKeepsColumnsLeftOut) {
  TestCompany company;
  ImportAll(company, {"depots", "shelves", "articles"});
  // Empty rows that spreadsheets leave behind are skipped, not counted.
  EXPECT_EQ(ImportText(company, "depots", "ID,Name\n\nWH-9,Yard\n,\r\n"), "1");
  EXPECT_EQ(company.Count("ST_Depot"), 4);
  EXPECT_EQ(ImportText(company, "articles", "name,ID\nBolt M6,1006\nNew one,2001\n"), "2");
  EXPECT_EQ(company.Count("FD_Article"), 7);
  const std::string kJoined = " FROM FD_Article a JOIN FD_ArtStore s ON s.ID = a.ID WHERE a.ID ";
  EXPECT_EQ(
      company.Rows("SELECT a.Name, a.ArtCode, a.MeasID, a.ShelfID, s.KeepDay" + kJoined + "= 1006",
                   "tttti"),
      "Bolt M6|PNT-GRY|kg|B-02|365");
  // A new article gets its defaults, and its stock settings row.
  EXPECT_EQ(company.Rows("SELECT a.Serial, a.NonStandard, s.KeepDay" + kJoined + "= 2001", "iii"),
            "0|0|0");
  ASSERT_EQ(ImportText(company, "articles", "ID,KeepDay,ShelfID\n2001,30,\n1006,,A-01\n"), "2");
  EXPECT_EQ(
      company.Rows("SELECT a.ID, a.ShelfID, s.KeepDay" + kJoined + "IN (1006, 2001) ORDER BY a.ID",
                   "iti"),
      "1006|A-01|0;2001|<null>|30");
}

TEST(ImportTest, BomRowsKeepTheirKeysAndNewOnesFollowThem) {
  TestCompany company;
  company.Exec("INSERT INTO FD_Article (ID) VALUES (1), (2)");
  company.Exec("INSERT INTO MF_Order (BillID) VALUES ('MO')");
  ASSERT_EQ(ImportText(company, "order-bom",
                       "ID,BillID,ArtID,Qty\n5,MO,1,2.5\n,MO,2,1\n3,MO,2,4\n,MO,1,7\n"),
            "4");
  const std::string kKeys = "SELECT ID, ArtID FROM MF_OrdBom ORDER BY ID";
  EXPECT_EQ(company.Rows(kKeys, "ii"), "3|2;5|1;6|2;7|1");  // 6 assigned after the given 5
  ASSERT_EQ(ImportText(company, "order-bom", "ID,BillID,ArtID,Qty\n9,MO,2,1\n5,MO,2,8\n"), "2");
  // Whoever inserts next (execution adding a BOM row) gets a fresh key.
  company.Exec("INSERT INTO MF_OrdBom (BillID, ArtID) VALUES ('MO', 1)");
  EXPECT_EQ(company.Rows(kKeys, "ii"), "3|2;5|2;6|2;7|1;9|2;10|1");
}

}  // namespace
}  // namespace masterdata
