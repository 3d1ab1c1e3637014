#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "reader/mf_outbill.h"
#include "tests/bill_fixture.h"

namespace reader {
namespace {

using testing_support::BillFixture;
using testing_support::D;
using testing_support::Dump;
using Ids = std::vector<std::string>;

// The bills every test starts from, in December 2026 (period 202612):
//   kB1  12-02, MO1 line 1 (workshop W1), Amy, executed 12-03, two lines
//   kB2  12-04, MO2 line 1 (workshop W2), Ned, one line on shelf S2
//   kB3  12-06, MO1 line 2 (W1), Amy, named operation category and project,
//        a cost item without a row, three lines
//   kB4  12-08, MO1 line 1, Amy, executed 12-09, its lines removed
constexpr const char* kB1 = "202612020001";
constexpr const char* kB2 = "202612040001";
constexpr const char* kB3 = "202612060001";
constexpr const char* kB4 = "202612080001";
const std::string kNoRead = "没有生产领料单的读权限！";
const std::string kNoReadT = "沒有生產領料單的讀權限！";

class ListOpsTest : public BillFixture {
 protected:
  ListOpsTest() {
    // Created out of number order; the lists order by number.
    EXPECT_TRUE(AddNew(kB3,
                       {{.sort_id = "2", .art = 3, .qty = "2"},
                        {.sort_id = "1", .meas = "box", .qty = "1", .memo = "boxed"},
                        {.sort_id = "10", .art = 2, .serial = "SN9", .valid = "2027-03-01"}},
                       false, "amy", "2026-12-06", "MO1", "2")
                    .ok);
    EXPECT_TRUE(
        AddNew(kB1, {{.qty = "4"}, {.sort_id = "2", .art = 3}}, false, "amy", "2026-12-02").ok);
    EXPECT_TRUE(ExecBill(kB1, "2026-12-03").ok);
    EXPECT_TRUE(
        AddNew(kB2, {{.shelf = "S2", .qty = "2"}}, false, "ned", "2026-12-04", "MO2", "1").ok);
    EXPECT_TRUE(AddNew(kB4, {{}}, true, "amy", "2026-12-08").ok);
    company_.Exec("UPDATE MF_OutBill SET ExeDate = :d WHERE BillID = :id",
                  {{"d", D("2026-12-09")}, {"id", kB4}});
    company_.Exec("DELETE FROM MF_OutDetail WHERE BillID = :id", {{"id", kB4}});
    company_.Exec("INSERT INTO FD_OpCate (ID, Name) VALUES ('OC1', 'Cutting')");
    company_.AddUser("zed", "Zed", "", {"MF0302", "MF0303", "MF0304"});  // all but reading
    company_.AddUser("tina", "Tina", "T", {});
    company_.Exec("INSERT INTO FD_Project (ID, Name) VALUES ('P1', 'Project one')");
    company_.Exec(
        "UPDATE MF_OutBill SET OpCateID = 'OC1', ProjID = 'P1', ItemID = 'IX' WHERE BillID = :id",
        {{"id", kB3}});
  }

  std::optional<base::Rowset> BillList(const std::string& bill, const char* beg, const char* end,
                                       const std::string& shop, int32_t state,
                                       const std::string& maker, std::string& err,
                                       const std::string& login = "amy") {
    auto rs = Read(login, [&](MF_OutBill& r) {
      return r.BillList(bill, D(beg), D(end), shop, state, maker, company_.name(), err);
    });
    EXPECT_EQ(read_vote_, rs ? host::Vote::kComplete : host::Vote::kAbort);
    return rs;
  }

  std::optional<base::Rowset> PrintRst(const std::string& bill, const std::string& beg_id,
                                       const std::string& end_id, int32_t flag, const char* beg,
                                       const char* end, std::string& err,
                                       const std::string& login = "amy") {
    auto rs = Read(login, [&](MF_OutBill& r) {
      return r.PrintRst(bill, beg_id, end_id, flag, D(beg), D(end), company_.name(), err);
    });
    EXPECT_EQ(read_vote_, rs ? host::Vote::kComplete : host::Vote::kAbort);
    return rs;
  }

  // The values of column `col` down the rows, as text.
  static Ids Column(const base::Rowset& rs, size_t col) {
    Ids out;
    for (const auto& row : rs.rows()) out.push_back(row[col].TextOrEmpty());
    return out;
  }

  platform::EventLogCapture log_;
};

TEST_F(ListOpsTest, BillListColumnsAndRows) {
  std::string err;
  const std::string no_codes = "<null>|<null>|<null>|<null>|<null>|<null>";
  // A cost item without a row gives a NULL name.
  EXPECT_EQ(Dump(BillList("", "2026-12-01", "2026-12-31", "", 0, "", err)),
            "BillID:text Date:date ExeDate:date OrdBill:text OrdSortID:text OpCateID:text "
            "OpCateName:text ProjID:text ProjName:text ItemID:text ItemName:text Notes:text "
            "Operator:text Maker:text Execer:text\n" +
                std::string(kB1) + "|2026-12-02|2026-12-03|MO1|1|" + no_codes +
                "|memo|Oscar|Amy|Amy\n" + kB2 + "|2026-12-04|<null>|MO2|1|" + no_codes +
                "|memo|Oscar|Ned|<null>\n" + kB3 +
                "|2026-12-06|<null>|MO1|2|OC1|Cutting|P1|Project one|IX|<null>|memo|Oscar|Amy|"
                "<null>\n" +
                kB4 + "|2026-12-08|2026-12-09|MO1|1|" + no_codes + "|memo|Oscar|Amy|Amy");
  EXPECT_EQ(err, "");
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ListOpsTest, BillListFilters) {
  const std::string ghost =
      "user 'ghost' is not a user of company database '" + company_.name() + "'";
  struct Case {
    const char* what;
    std::string bill;
    const char* beg;
    const char* end;
    std::string shop;
    int32_t state;
    std::string maker;
    Ids expect;
    const char* login = "amy";
    std::string err = "";
  } cases[] = {
      {"month", "", "2026-12-01", "2026-12-31", "", 0, "", {kB1, kB2, kB3, kB4}},
      {"swapped range", "", "2026-12-31", "2026-12-01", "", 0, "", {kB1, kB2, kB3, kB4}},
      {"ends included", "", "2026-12-02", "2026-12-04", "", 0, "", {kB1, kB2}},
      {"swapped, ends included", "", "2026-12-04", "2026-12-02", "", 0, "", {kB1, kB2}},
      {"times dropped", "", "2026-12-04 18:00:00", "2026-12-06 06:00:00", "", 0, "", {kB2, kB3}},
      {"one day", "", "2026-12-06", "2026-12-06", "", 0, "", {kB3}},
      {"no bills", "", "2026-11-01", "2026-11-30", "", 0, "", {}},
      {"not executed", "", "2026-12-01", "2026-12-31", "", 1, "", {kB2, kB3}},
      {"executed", "", "2026-12-01", "2026-12-31", "", 2, "", {kB1, kB4}},
      {"state 3 is both", "", "2026-12-01", "2026-12-31", "", 3, "", {kB1, kB2, kB3, kB4}},
      {"state -1 is both", "", "2026-12-01", "2026-12-31", "", -1, "", {kB1, kB2, kB3, kB4}},
      {"maker", "", "2026-12-01", "2026-12-31", "", 0, "Ned", {kB2}},
      {"unknown maker", "", "2026-12-01", "2026-12-31", "", 0, "Zoe", {}},
      {"workshop W1", "", "2026-12-01", "2026-12-31", "W1", 0, "", {kB1, kB3, kB4}},
      {"workshop W2", "", "2026-12-01", "2026-12-31", "W2", 0, "", {kB2}},
      {"workshop without orders", "", "2026-12-01", "2026-12-31", "W9", 0, "", {}},
      {"all filters", "", "2026-12-07", "2026-12-01", "W1", 1, "Amy", {kB3}},
      {"number overrides", kB2, "2025-01-01", "2025-01-02", "W1", 2, "Amy", {kB2}},
      {"number overrides state", kB3, "2026-12-01", "2026-12-31", "", 2, "", {kB3}},
      {"unknown number", "202612319999", "2026-12-01", "2026-12-31", "", 0, "", {}},
      {"quote in a value", "", "2026-12-01", "2026-12-31", "W1' OR '1'='1", 0, "", {}},
      // Without the read right, in the caller's language; a caller the user
      // service does not know gets its text.
      {"no read right", kB1, "2026-12-01", "2026-12-31", "", 0, "", {}, "zed", kNoRead},
      {"no read right", kB1, "2026-12-01", "2026-12-31", "", 0, "", {}, "tina", kNoReadT},
      {"unknown user", "", "2026-12-01", "2026-12-31", "", 0, "", {}, "ghost", ghost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string err;
    auto rs = BillList(c.bill, c.beg, c.end, c.shop, c.state, c.maker, err, c.login);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(rs ? Column(*rs, 0) : Ids{"<no rowset>"},
              c.err.empty() ? c.expect : Ids{"<no rowset>"});
  }
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ListOpsTest, PrintRstColumnsAndRows) {
  std::string err;
  // Codes only, no names; DeptID as the order line gave it; the shelf's
  // balance of article and serial number, 0 without a balance row. Bill
  // kB4 has no lines and yields no row.
  auto bal = [&](const char* shelf, int32_t art) { return Balance(shelf, art).ToPlainString(); };
  ASSERT_NE(bal("S1", 1), "0");
  const std::string b1 = std::string(kB1) + "|2026-12-02|2026-12-03|MO1|1|<null>|<null>|D1|<null>";
  const std::string b3 = std::string(kB3) + "|2026-12-06|<null>|MO1|2|OC1|P1|<null>|IX";
  EXPECT_EQ(
      Dump(PrintRst("", "", "", 0, "2026-12-01", "2026-12-31", err)),
      "BillID:text Date:date ExeDate:date OrdBill:text OrdSortID:text OpCateID:text ProjID:text "
      "DeptID:text ItemID:text Notes:text Operator:text MakerName:text ExecerName:text "
      "SortID:text ArtID:int ArtCode:text ArtName:text MeasID:text ShelfID:text ShelfName:text "
      "SerialNo:text ValidDate:date Qty:currency Price:currency Amt:currency Memo:text "
      "ShelfBal:currency OrdBomID:int\n" +
          b1 + "|memo|Oscar|Amy|Amy|1|1|A-001|Bolt|pcs|S1|Shelf one||<null>|4|0|0||" +
          bal("S1", 1) + "|0\n" + b1 + "|memo|Oscar|Amy|Amy|2|3|C-003|Nut|pcs|S1|Shelf one||" +
          "<null>|1|0|0||" + bal("S1", 3) + "|0\n" + kB2 +
          "|2026-12-04|<null>|MO2|1|<null>|<null>|<null>|<null>|memo|Oscar|Ned|<null>|1|1|A-001|"
          "Bolt|pcs|S2|Shelf two||<null>|2|0|0||" +
          bal("S2", 1) + "|0\n" + b3 +
          "|memo|Oscar|Amy|<null>|1|1|A-001|Bolt|box|S1|Shelf one||<null>|1|0|0|boxed|" +
          bal("S1", 1) + "|0\n" + b3 +
          "|memo|Oscar|Amy|<null>|10|2|B-002|Motor|pcs|S1|Shelf one|SN9|2027-03-01|1|0|0||0|0\n" +
          b3 + "|memo|Oscar|Amy|<null>|2|3|C-003|Nut|pcs|S1|Shelf one||<null>|2|0|0||" +
          bal("S1", 3) + "|0");
  EXPECT_EQ(err, "");
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ListOpsTest, PrintRstLeavesOutLinesWithoutArticleOrShelf) {
  company_.Exec("UPDATE MF_OutDetail SET ShelfID = 'S9' WHERE BillID = :id AND SortID = '2'",
                {{"id", kB3}});
  company_.Exec("UPDATE MF_OutDetail SET ArtID = 99 WHERE BillID = :id AND SortID = '1'",
                {{"id", kB3}});
  // Stock settings do not matter to the print data.
  company_.Exec("DELETE FROM FD_ArtStore");
  std::string err;
  auto rs = PrintRst(kB3, "", "", 0, "2026-12-01", "2026-12-31", err);
  ASSERT_TRUE(rs.has_value()) << err;
  EXPECT_EQ(Column(*rs, 13), (Ids{"10"}));
}

TEST_F(ListOpsTest, PrintRstFilters) {
  struct Case {
    const char* what;
    std::string bill, beg_id, end_id;
    int32_t flag;
    const char* beg;
    const char* end;
    Ids expect;  // bills, one entry per line
    const char* login = "amy";
    std::string err = "";
  } cases[] = {
      {"bill dates", "", "", "", 0, "2026-12-02", "2026-12-04", {kB1, kB1, kB2}},
      {"times dropped", "", "", "", 0, "2026-12-04 12:00:00", "2026-12-04 00:00:01", {kB2}},
      {"reversed range", "", "", "", 0, "2026-12-31", "2026-12-01", {}},
      {"execution dates", "", "", "", 1, "2026-12-01", "2026-12-31", {kB1, kB1}},
      {"any flag but 0", "", "", "", -7, "2026-12-03", "2026-12-03", {kB1, kB1}},
      {"execution, reversed", "", "", "", 1, "2026-12-31", "2026-12-01", {}},
      {"execution, last number", "", "", kB1, 1, "2026-12-01", "2026-12-31", {kB1, kB1}},
      {"execution, first number", "", kB2, "", 1, "2026-12-01", "2026-12-31", {}},
      {"first number", "", kB2, "", 0, "2026-12-01", "2026-12-31", {kB2, kB3, kB3, kB3}},
      {"last number", "", "", kB2, 0, "2026-12-01", "2026-12-31", {kB1, kB1, kB2}},
      {"both numbers", "", kB2, kB2, 0, "2026-12-01", "2026-12-31", {kB2}},
      {"between", "", "2026120", "202612050000", 0, "2026-12-01", "2026-12-31", {kB1, kB1, kB2}},
      {"number overrides", kB3, kB1, kB1, 1, "2026-12-31", "2026-12-01", {kB3, kB3, kB3}},
      {"number without lines", kB4, "", "", 0, "2026-12-01", "2026-12-31", {}},
      {"no read right", kB1, "", "", 0, "2026-12-01", "2026-12-31", {}, "zed", kNoRead},
      {"no read right", kB1, "", "", 0, "2026-12-01", "2026-12-31", {}, "tina", kNoReadT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string err;
    auto rs = PrintRst(c.bill, c.beg_id, c.end_id, c.flag, c.beg, c.end, err, c.login);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(rs ? Column(*rs, 0) : Ids{"<no rowset>"},
              c.err.empty() ? c.expect : Ids{"<no rowset>"});
  }
  EXPECT_TRUE(log_.Records().empty());
}

}  // namespace
}  // namespace reader
