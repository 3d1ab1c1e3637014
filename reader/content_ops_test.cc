#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "reader/mf_outbill.h"
#include "tests/bill_fixture.h"

namespace reader {
namespace {

using testing_support::BillFixture;
using testing_support::C;
using testing_support::D;
using testing_support::RowText;
using testing_support::Schema;

constexpr const char* kBill = "202612060001";

// GetContent's in/out parameters, preset to values no bill holds so that a
// parameter the call leaves alone is told from one it wrote.
struct Content {
  base::DateTime date = D("1999-01-01");
  base::DateTime exe_date = D("1999-01-02");
  std::string ord_bill = "?ord", ord_sort = "?line", opcate = "?opcate", proj = "?proj",
              proj_name = "?projname", item = "?item", item_name = "?itemname", maker = "?maker",
              execer = "?execer", oper = "?operator", memo = "?memo";
  std::string err;
  std::optional<base::Rowset> lines;
  host::Vote vote = host::Vote::kNone;
};

// The header parameters as "date|exe date|order|line|...|operator|memo".
std::string HeaderText(const Content& c) {
  std::string out = c.date.FormatIso() + "|" + c.exe_date.FormatIso();
  for (const std::string* t : {&c.ord_bill, &c.ord_sort, &c.opcate, &c.proj, &c.proj_name, &c.item,
                               &c.item_name, &c.maker, &c.execer, &c.oper, &c.memo}) {
    out += "|" + *t;
  }
  return out;
}

// DetailInfo's in/out parameters, preset the same way.
struct Detail {
  bool ok = false;
  base::DateTime out_date = D("1999-01-01");
  int32_t art = -1;
  std::string art_code = "?code";
  base::Currency st_qty = C("-1");
  base::Currency can_un_qty = C("-2");
  std::string meas = "?meas";
  base::Currency price = C("-3");
  std::string memo = "?memo";
  std::string err;
};

class ContentOpsTest : public BillFixture {
 protected:
  host::Instance Reader(const std::string& login) {
    return host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBill", login).value();
  }

  Content GetContent(const std::string& id, const std::string& login = "amy") {
    Content c;
    host::Instance obj = Reader(login);
    c.lines = obj.As<MF_OutBill>()->GetContent(
        id, c.date, c.exe_date, c.ord_bill, c.ord_sort, c.opcate, c.proj, c.proj_name, c.item,
        c.item_name, c.maker, c.execer, c.oper, c.memo, company_.name(), c.err);
    c.vote = obj.context()->vote();
    EXPECT_TRUE(obj.Release().ok());
    return c;
  }

  Detail DetailInfo(const std::string& ord, const std::string& ord_line, const std::string& id,
                    const std::string& line, const std::string& login = "amy") {
    Detail d;
    host::Instance obj = Reader(login);
    d.ok = obj.As<MF_OutBill>()->DetailInfo(ord, ord_line, id, line, d.out_date, d.art, d.art_code,
                                            d.st_qty, d.can_un_qty, d.meas, d.price, d.memo,
                                            company_.name(), d.err);
    EXPECT_EQ(obj.context()->vote(), d.ok ? host::Vote::kComplete : host::Vote::kAbort);
    EXPECT_TRUE(obj.Release().ok());
    return d;
  }

  std::optional<base::Rowset> OpenLines(const std::string& ord, const std::string& line,
                                        const char* beg, const char* end, std::string& err,
                                        const std::string& login = "amy") {
    host::Instance obj = Reader(login);
    auto rs = obj.As<MF_OutBill>()->OutUnListRst(ord, line, D(beg), D(end), company_.name(), err);
    EXPECT_EQ(obj.context()->vote(), rs ? host::Vote::kComplete : host::Vote::kAbort);
    EXPECT_TRUE(obj.Release().ok());
    return rs;
  }

  struct Answer {
    bool ok;
    std::string err;
  };
  Answer CanEdit(const std::string& id, const std::string& login, bool delete_instead = false) {
    Answer a{false, ""};
    host::Instance obj = Reader(login);
    auto* reader = obj.As<MF_OutBill>();
    a.ok = delete_instead ? reader->CanDelete(id, company_.name(), a.err)
                          : reader->CanEdit(id, company_.name(), a.err);
    EXPECT_EQ(obj.context()->vote(), a.ok ? host::Vote::kComplete : host::Vote::kAbort) << id;
    EXPECT_TRUE(obj.Release().ok());
    return a;
  }

  // Executed bill kBill: lines entered out of order ("2" article 3, "1" in
  // boxes, "10" article 2 with a serial number); project P1 (named), cost
  // item IX (no row).
  void ExecutedBill() {
    auto r = AddNew(kBill, {{.sort_id = "2", .art = 3, .qty = "2.5"},
                            {.sort_id = "1",
                             .meas = "box",
                             .qty = "3",
                             .memo = "m1",
                             .bom = bom_line1_a_,
                             .valid = "2027-01-31"},
                            {.sort_id = "10", .art = 2, .serial = "SN1", .memo = "m10"}});
    ASSERT_TRUE(r.ok) << r.err;
    company_.Exec("INSERT INTO FD_Project (ID, Name) VALUES ('P1', 'Project one')");
    company_.Exec("UPDATE MF_OutBill SET ProjID = 'P1', ItemID = 'IX' WHERE BillID = :id",
                  {{"id", kBill}});
    auto e = ExecBill(kBill, "2026-12-07");
    ASSERT_TRUE(e.ok) << e.err;
  }

  platform::EventLogCapture log_;
};

TEST_F(ContentOpsTest, GetContentReadsHeaderAndLinesInLineOrder) {
  ExecutedBill();
  company_.Exec(
      "UPDATE MF_OutDetail SET Price = :p, Amt = :a, UnQty = :u WHERE BillID = :id AND "
      "SortID = '1'",
      {{"p", C("2.5")}, {"a", C("7.5")}, {"u", C("1")}, {"id", kBill}});
  Content c = GetContent(kBill);
  ASSERT_TRUE(c.lines.has_value()) << c.err;
  EXPECT_EQ(c.err, "");
  EXPECT_EQ(c.vote, host::Vote::kComplete);
  // NULL operation category and a cost item without a row give empty texts.
  EXPECT_EQ(HeaderText(c), "2026-12-06|2026-12-07|MO1|1||P1|Project one|IX||Amy|Amy|Oscar|memo");
  EXPECT_EQ(Schema(*c.lines),
            "SortID:text ArtID:int ArtCode:text ArtName:text MeasID:text ShelfID:text "
            "ShelfName:text SerialNo:text ValidDate:date Qty:currency Price:currency "
            "Amt:currency Memo:text KeepDay:int Serial:int UnQty:currency OrdBomID:int");
  // Line numbers in text order: "1" < "10" < "2".
  ASSERT_EQ(c.lines->RecordCount(), 3u);
  EXPECT_EQ(RowText(*c.lines, 0),
            "1|1|A-001|Bolt|box|S1|Shelf one||2027-01-31|3|2.5|7.5|m1|0|0|1|" +
                std::to_string(bom_line1_a_));
  EXPECT_EQ(RowText(*c.lines, 1),
            "10|2|B-002|Motor|pcs|S1|Shelf one|SN1|<null>|1|0|0|m10|30|0|0|0");
  EXPECT_EQ(RowText(*c.lines, 2), "2|3|C-003|Nut|pcs|S1|Shelf one||<null>|2.5|0|0||0|0|0|0");
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ContentOpsTest, GetContentOfUnexecutedBillGivesTodayAndNoExecuter) {
  ASSERT_TRUE(AddNew(kBill, {{}}).ok);
  const base::DateTime before = base::DateTime::Now().DateOnly();
  Content c = GetContent(kBill);
  const base::DateTime after = base::DateTime::Now().DateOnly();
  ASSERT_TRUE(c.lines.has_value()) << c.err;
  EXPECT_TRUE(c.exe_date == before || c.exe_date == after) << c.exe_date.FormatDateTime();
  EXPECT_FALSE(c.exe_date.HasTime());
  EXPECT_EQ(c.execer, "");
  EXPECT_EQ(c.lines->RecordCount(), 1u);
}

TEST_F(ContentOpsTest, GetContentLeavesOutLinesWithoutStockSettingsOrShelf) {
  ExecutedBill();
  company_.Exec("DELETE FROM FD_ArtStore WHERE ID = 3");
  company_.Exec("UPDATE MF_OutDetail SET ShelfID = 'S9' WHERE BillID = :id AND SortID = '10'",
                {{"id", kBill}});
  Content c = GetContent(kBill);
  ASSERT_TRUE(c.lines.has_value()) << c.err;
  ASSERT_EQ(c.lines->RecordCount(), 1u);
  EXPECT_EQ(c.lines->Row(0)[0], base::Value("1"));
  // With every line like that the rowset is empty, and still a success.
  company_.Exec("DELETE FROM FD_ArtStore WHERE ID = 1");
  c = GetContent(kBill);
  ASSERT_TRUE(c.lines.has_value()) << c.err;
  EXPECT_EQ(c.lines->RecordCount(), 0u);
  EXPECT_EQ(c.err, "");
}

TEST_F(ContentOpsTest, GetContentOfUnknownBillLeavesTheParameters) {
  company_.AddUser("tina", "Tina", "T", {"MF0301"});
  Content c = GetContent("nosuchbill");
  EXPECT_FALSE(c.lines.has_value());
  EXPECT_EQ(c.err, "没有找到编号为 nosuchbill 的生产领料单！");
  EXPECT_EQ(c.vote, host::Vote::kAbort);
  Content untouched;
  EXPECT_EQ(c.date, untouched.date);
  EXPECT_EQ(c.exe_date, untouched.exe_date);
  EXPECT_EQ(c.memo, untouched.memo);
  EXPECT_EQ(c.maker, untouched.maker);
  EXPECT_EQ(GetContent("x1", "tina").err, "沒有找到編號爲 x1 的生產領料單！");
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ContentOpsTest, NullWhereGetContentNeedsAValueFailsWithTheComposedText) {
  // The out-parameters are filled in the order Notes, Date, ExeDate,
  // OrdBill, OrdSortID, ..., Maker, Execer, Operator: a NULL stops there.
  struct Case {
    const char* column;
    const char* memo;   // vstrMemo afterwards
    const char* maker;  // vstrMaker afterwards
  } cases[] = {
      {"Notes", "?memo", "?maker"},    {"Date", "memo", "?maker"},  {"OrdBill", "memo", "?maker"},
      {"OrdSortID", "memo", "?maker"}, {"Maker", "memo", "?maker"}, {"Operator", "memo", "Amy"},
  };
  ASSERT_TRUE(AddNew(kBill, {{}}).ok);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    company_.Exec(std::string("UPDATE MF_OutBill SET ") + c.column + " = NULL");
    log_.Clear();
    Content got = GetContent(kBill);
    EXPECT_FALSE(got.lines.has_value());
    EXPECT_EQ(got.err, "94-Invalid use of Null-Plexavo-Plexavo.GetContent");
    EXPECT_EQ(got.vote, host::Vote::kAbort);
    EXPECT_EQ(got.memo, c.memo);
    EXPECT_EQ(got.maker, c.maker);
    EXPECT_EQ(got.oper, "?operator");
    ASSERT_EQ(log_.Records().size(), 1u);
    EXPECT_EQ(log_.Records()[0].rfind("Method: Plexavo.GetContent\r\n", 0), 0u);
    // Restore the bill for the next column.
    company_.Exec(
        "UPDATE MF_OutBill SET Notes = 'memo', Date = :d, OrdBill = 'MO1', OrdSortID = '1', "
        "Maker = 'Amy', Operator = 'Oscar'",
        {{"d", D("2026-12-06")}});
  }
  ASSERT_TRUE(GetContent(kBill).lines.has_value());
}

TEST_F(ContentOpsTest, WithoutReadRightTheQueriesRefuse) {
  ExecutedBill();
  company_.AddUser("zed", "Zed", "", {"MF0302", "MF0303"});
  company_.AddUser("tina", "Tina", "T", {});
  Content c = GetContent(kBill, "zed");
  EXPECT_FALSE(c.lines.has_value());
  EXPECT_EQ(c.err, "没有生产领料单的读权限！");
  EXPECT_EQ(c.memo, "?memo");
  Detail d = DetailInfo("MO1", "1", kBill, "1", "zed");
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.err, "没有生产领料单的读权限！");
  EXPECT_EQ(d.art, -1);
  std::string err;
  EXPECT_FALSE(OpenLines("MO1", "1", "2026-12-01", "2026-12-31", err, "tina").has_value());
  EXPECT_EQ(err, "沒有生產領料單的讀權限！");
  // A caller the user service does not know: its text, no right check.
  Content ghost = GetContent(kBill, "ghost");
  EXPECT_FALSE(ghost.lines.has_value());
  EXPECT_EQ(ghost.err, "user 'ghost' is not a user of company database '" + company_.name() + "'");
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ContentOpsTest, DetailInfoAnswersOneExecutedLine) {
  ExecutedBill();
  company_.Exec(
      "UPDATE MF_OutDetail SET Price = :p, UnQty = :u WHERE BillID = :id AND SortID = '1'",
      {{"p", C("2.5")}, {"u", C("1")}, {"id", kBill}});
  Detail d = DetailInfo("MO1", "1", kBill, "1");
  ASSERT_TRUE(d.ok) << d.err;
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.out_date, D("2026-12-07"));
  EXPECT_EQ(d.art, 1);
  EXPECT_EQ(d.art_code, "A-001");
  EXPECT_EQ(d.st_qty, C("36"));     // 3 boxes of 12
  EXPECT_EQ(d.can_un_qty, C("2"));  // 3 issued, 1 returned
  EXPECT_EQ(d.meas, "box");
  EXPECT_EQ(d.price, C("2.5"));
  EXPECT_EQ(d.memo, "m1");
}

TEST_F(ContentOpsTest, DetailInfoRefusals) {
  ExecutedBill();
  ASSERT_TRUE(AddNew("202612060002", {{}}).ok);  // not executed
  struct Case {
    const char *ord, *ord_line, *bill, *line, *err;
  } cases[] = {
      {"MO1", "1", kBill, "9", "非法的领料单号或序号！"},
      {"MO1", "1", "202612069999", "1", "非法的领料单号或序号！"},
      {"MO1", "1", "202612060002", "1", "对应的领料单尚未执行！"},
      {"MO2", "1", kBill, "1", "领料单对应的生产单及序号和指定的生产单及序号不一致！"},
      {"MO1", "2", kBill, "1", "领料单对应的生产单及序号和指定的生产单及序号不一致！"},
      {"mo1", "1", kBill, "1", "领料单对应的生产单及序号和指定的生产单及序号不一致！"},
      {"MO1", "", kBill, "1", "领料单对应的生产单及序号和指定的生产单及序号不一致！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ord) + "/" + c.ord_line + " " + c.bill + "/" + c.line);
    Detail d = DetailInfo(c.ord, c.ord_line, c.bill, c.line);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.err, c.err);
    EXPECT_EQ(d.art, -1);
    EXPECT_EQ(d.memo, "?memo");
  }
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ContentOpsTest, DetailInfoTrimsTheStoredOrderLineAndLetsNullsPass) {
  ExecutedBill();
  struct Case {
    const char* stored_ord;   // nullptr: NULL
    const char* stored_line;  // nullptr: NULL
    const char* ord;
    const char* line;
    bool accepted;
  } cases[] = {
      {"MO1", " 1 ", "MO1", "1", true},  // the stored line counts trimmed
      {"MO1", "1", "MO1", " 1", false},  // the given line does not
      {"MO1", "1 ", "MO1", "1", true},
      {nullptr, "1", "MO1", "1", true},  // NULL order: undecided
      {nullptr, "1", "MO9", "1", true},
      {nullptr, "1", "MO1", "2", false},   // but the line differs
      {"MO1", nullptr, "MO1", "7", true},  // NULL line: undecided
      {"MO1", nullptr, "MO2", "1", false},
      {nullptr, nullptr, "MO9", "9", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored_ord ? c.stored_ord : "NULL") + "/" +
                 (c.stored_line ? c.stored_line : "NULL") + " asked " + c.ord + "/'" + c.line +
                 "'");
    company_.Exec("UPDATE MF_OutBill SET OrdBill = :o, OrdSortID = :l",
                  {{"o", c.stored_ord ? base::Value(c.stored_ord) : base::Value()},
                   {"l", c.stored_line ? base::Value(c.stored_line) : base::Value()}});
    Detail d = DetailInfo(c.ord, c.line, kBill, "1");
    EXPECT_EQ(d.ok, c.accepted) << d.err;
    EXPECT_EQ(d.err, c.accepted ? "" : "领料单对应的生产单及序号和指定的生产单及序号不一致！");
  }
}

TEST_F(ContentOpsTest, DetailInfoNullValueFailsAfterFillingWhatCameBefore) {
  ExecutedBill();
  company_.Exec("UPDATE MF_OutDetail SET Memo = NULL WHERE BillID = :id AND SortID = '1'",
                {{"id", kBill}});
  Detail d = DetailInfo("MO1", "1", kBill, "1");
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.err, "94-Invalid use of Null-Plexavo-Plexavo.DetailInfo");
  EXPECT_EQ(d.art, 1);
  EXPECT_EQ(d.price, C("0"));
  EXPECT_EQ(d.memo, "?memo");
  EXPECT_EQ(d.out_date, D("1999-01-01"));
  ASSERT_EQ(log_.Records().size(), 1u);
  EXPECT_EQ(log_.Records()[0].rfind("Method: Plexavo.DetailInfo\r\n", 0), 0u);
}

TEST_F(ContentOpsTest, OutUnListRstListsExecutedLinesStillOpenForReturn) {
  // 202612020001: executed 12-03, two lines, line 2 fully returned.
  ASSERT_TRUE(AddNew("202612020001",
                     {{.sort_id = "1", .qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}}, false,
                     "amy", "2026-12-02")
                  .ok);
  ASSERT_TRUE(ExecBill("202612020001", "2026-12-03").ok);
  company_.Exec("UPDATE MF_OutDetail SET UnQty = Qty WHERE SortID = '2'");
  company_.Exec("UPDATE MF_OutDetail SET UnQty = :u WHERE SortID = '1'", {{"u", C("1.5")}});
  // 202612050001: executed 12-05, valid date and serial number.
  ASSERT_TRUE(AddNew("202612050001",
                     {{.art = 2, .serial = "SN2", .qty = "1", .valid = "2027-02-01"}}, false, "amy",
                     "2026-12-05")
                  .ok);
  ASSERT_TRUE(ExecBill("202612050001", "2026-12-05").ok);
  // Not listed: another order line, an unexecuted bill, a later execution.
  ASSERT_TRUE(AddNew("202612050002", {{}}, true, "amy", "2026-12-05", "MO1", "2").ok);
  ASSERT_TRUE(AddNew("202612050003", {{}}, false, "amy", "2026-12-05").ok);
  ASSERT_TRUE(AddNew("202612200001", {{}}, false, "amy", "2026-12-20").ok);
  ASSERT_TRUE(ExecBill("202612200001", "2026-12-20").ok);

  std::string err;
  auto rs = OpenLines("MO1", "1", "2026-12-03", "2026-12-05", err);
  ASSERT_TRUE(rs.has_value()) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(Schema(*rs),
            "ExeDate:date BillID:text SortID:text ArtCode:text ArtName:text MeasID:text "
            "Qty:currency UnQty:currency SerialNo:text ValidDate:date");
  ASSERT_EQ(rs->RecordCount(), 2u);
  EXPECT_EQ(RowText(*rs, 0), "2026-12-03|202612020001|1|A-001|Bolt|pcs|4|1.5||<null>");
  EXPECT_EQ(RowText(*rs, 1), "2026-12-05|202612050001|1|B-002|Motor|pcs|1|0|SN2|2027-02-01");
  // Nothing in the range for the whole order (OrdSortID '').
  rs = OpenLines("MO1", "", "2026-12-01", "2026-12-31", err);
  ASSERT_TRUE(rs.has_value()) << err;
  EXPECT_EQ(rs->RecordCount(), 0u);
}

TEST_F(ContentOpsTest, OutUnListRstEndDateExcludesAStoredTimeAfterMidnight) {
  ASSERT_TRUE(AddNew(kBill, {{}}, true, "amy", "2026-12-06").ok);
  company_.Exec("UPDATE MF_OutBill SET ExeDate = :t", {{"t", D("2026-12-06 10:30:00")}});
  // A backend that keeps the time of day holds it; one that keeps days only
  // holds the bare day, which lies within the day's bound.
  const bool time_kept = company_.Text("SELECT ExeDate FROM MF_OutBill").size() > 10;
  std::string err;
  auto same_day = OpenLines("MO1", "1", "2026-12-06", "2026-12-06", err);
  ASSERT_TRUE(same_day.has_value()) << err;
  EXPECT_EQ(same_day->RecordCount(), time_kept ? 0u : 1u);
  auto next_day = OpenLines("MO1", "1", "2026-12-06", "2026-12-07 00:00:00", err);
  ASSERT_TRUE(next_day.has_value()) << err;
  ASSERT_EQ(next_day->RecordCount(), 1u);
  // The given bounds lose their time of day.
  auto late_begin = OpenLines("MO1", "1", "2026-12-06 23:00:00", "2026-12-07", err);
  ASSERT_TRUE(late_begin.has_value()) << err;
  EXPECT_EQ(late_begin->RecordCount(), 1u);
}

TEST_F(ContentOpsTest, CanEditAndCanDeleteGuardOwnershipAndExecution) {
  company_.AddUser("rita", "Rita", "", {"MF0301"});
  company_.AddUser("moe", "Moe", "", {"MF0302", "MF0303"});  // maintain without read
  company_.AddUser("tina", "Tina", "T", {"MF0301", "MF0302"});
  ASSERT_TRUE(AddNew("202612060001", {{}}, false, "ned").ok);  // Ned's
  ASSERT_TRUE(AddNew("202612060002", {{}}, true, "amy").ok);   // executed
  ASSERT_TRUE(AddNew("202612060003", {{}}, false, "amy").ok);
  company_.Exec("UPDATE MF_OutBill SET Maker = NULL WHERE BillID = '202612060003'");
  const std::string others = "只能修改/删除自己制作的生产通知单！";
  struct Case {
    const char* id;
    const char* login;
    bool ok;
    std::string err;
  } cases[] = {
      {"202612060001", "ned", true, ""},
      {"202612060001", "amy", false, others},
      {"202612060001", "tina", false, "只能修改/刪除自己製作的生產通知單！"},
      {"202612060002", "amy", false, "编号为 202612060002 的生产领料单已经执行，不能修改及删除！"},
      {"202612060002", "ned", false, "编号为 202612060002 的生产领料单已经执行，不能修改及删除！"},
      {"202612060003", "ned", true, ""},  // no maker: nobody else's
      {"202612069999", "amy", false, "没有找到编号为 202612069999 的生产领料单！"},
      {"202612060001", "rita", false, "没有生产领料单的维护权限！"},
      {"202612060001", "moe", false, "没有生产领料单的维护权限！"},
      {"202612060001", "ghost", false,
       "user 'ghost' is not a user of company database '" + company_.name() + "'"},
  };
  for (bool del : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(del ? "CanDelete " : "CanEdit ") + c.id + " as " + c.login);
      Answer a = CanEdit(c.id, c.login, del);
      EXPECT_EQ(a.ok, c.ok);
      EXPECT_EQ(a.err, c.err);
    }
  }
  // With the right to change others' bills the maker no longer matters; an
  // executed bill stays locked.
  company_.Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', 'SP0602')");
  for (bool del : {false, true}) {
    Answer a = CanEdit("202612060001", "amy", del);
    EXPECT_TRUE(a.ok) << a.err;
    EXPECT_EQ(a.err, "");
    a = CanEdit("202612060002", "amy", del);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.err, "编号为 202612060002 的生产领料单已经执行，不能修改及删除！");
  }
  EXPECT_TRUE(log_.Records().empty());
}

}  // namespace
}  // namespace reader
