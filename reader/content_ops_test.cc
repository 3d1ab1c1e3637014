#include <gtest/gtest.h>

#include <algorithm>

#include "platform/event_log.h"
#include "reader/mf_outbill.h"
#include "tests/bill_fixture.h"

namespace reader {
namespace {

using testing_support::C;
using testing_support::D;

constexpr const char* kBill = "202612060001";
const std::string kLines =
    "SortID:text ArtID:int ArtCode:text ArtName:text MeasID:text ShelfID:text ShelfName:text "
    "SerialNo:text ValidDate:date Qty:currency Price:currency Amt:currency Memo:text KeepDay:int "
    "Serial:int UnQty:currency OrdBomID:int";
// GetContent's header parameters as the call found them: every one is
// preset to a value no bill holds, so that one the call leaves alone shows.
const std::string kNoHeader =
    "1999-01-01|1999-01-02|?ord|?line|?opcate|?proj|?projname|?item|?itemname|?maker|?execer|"
    "?operator|?memo";
// DetailInfo's parameters (date|article|code|stock qty|returnable|unit|price|memo), preset alike.
const std::string kNoDetail = "1999-01-01|-1|?code|-1|-2|?meas|-3|?memo";
const std::string kNoReadRight = "没有生产领料单的读权限！";
const std::string kMismatch = "领料单对应的生产单及序号和指定的生产单及序号不一致！";

class ContentOpsTest : public testing_support::BillFixture {
 protected:
  struct Answer {
    bool ok = false;
    std::string err, text;
  };

  // The header parameters, "|"-joined with today's date shown as "today",
  // then the lines as Dump gives them.
  Answer GetContent(const std::string& id, const std::string& login = "amy") {
    base::DateTime date = D("1999-01-01"), exe = D("1999-01-02");
    std::string t[11] = {"?ord",      "?line",  "?opcate", "?proj",     "?projname", "?item",
                         "?itemname", "?maker", "?execer", "?operator", "?memo"};
    Answer a;
    auto lines = Read(login, [&](MF_OutBill& r) {
      return r.GetContent(id, date, exe, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9],
                          t[10], company_.name(), a.err);
    });
    a.ok = lines.has_value();
    const bool today = exe == base::DateTime::Now().DateOnly();
    a.text = date.FormatIso() + "|" + (today ? "today" : exe.FormatIso());
    for (const std::string& s : t) a.text += "|" + s;
    a.text += "\n" + testing_support::Dump(lines);
    EXPECT_EQ(read_vote_, a.ok ? host::Vote::kComplete : host::Vote::kAbort) << id;
    return a;
  }

  Answer DetailInfo(const std::string& ord, const std::string& ord_line, const std::string& id,
                    const std::string& line, const std::string& login = "amy") {
    base::DateTime out = D("1999-01-01");
    int32_t art = -1;
    std::string code = "?code", meas = "?meas", memo = "?memo";
    base::Currency st = C("-1"), can_un = C("-2"), price = C("-3");
    Answer a;
    a.ok = Read(login, [&](MF_OutBill& r) {
      return r.DetailInfo(ord, ord_line, id, line, out, art, code, st, can_un, meas, price, memo,
                          company_.name(), a.err);
    });
    a.text = out.FormatIso() + "|" + std::to_string(art) + "|" + code + "|" + st.ToPlainString() +
             "|" + can_un.ToPlainString() + "|" + meas + "|" + price.ToPlainString() + "|" + memo;
    EXPECT_EQ(read_vote_, a.ok ? host::Vote::kComplete : host::Vote::kAbort);
    return a;
  }

  Answer OpenLines(const std::string& ord, const std::string& line, const char* beg,
                   const char* end, const std::string& login = "amy") {
    Answer a;
    auto rs = Read(login, [&](MF_OutBill& r) {
      return r.OutUnListRst(ord, line, D(beg), D(end), company_.name(), a.err);
    });
    a.ok = rs.has_value();
    a.text = testing_support::Dump(rs);
    EXPECT_EQ(read_vote_, a.ok ? host::Vote::kComplete : host::Vote::kAbort);
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

// One statement after another on the executed bill, each followed by a call.
TEST_F(ContentOpsTest, GetContentReadsHeaderAndLinesInLineOrder) {
  ExecutedBill();
  company_.AddUser("tina", "Tina", "T", {"MF0301"});
  company_.AddUser("zed", "Zed", "", {"MF0302", "MF0303"});
  company_.Exec("UPDATE MF_OutDetail SET Price = :p, Amt = :a, UnQty = :u WHERE SortID = '1'",
                {{"p", C("2.5")}, {"a", C("7.5")}, {"u", C("1")}});
  // NULL operation category and a cost item without a row give empty texts.
  const std::string head =
      "2026-12-06|2026-12-07|MO1|1||P1|Project one|IX||Amy|Amy|Oscar|memo\n" + kLines;
  const std::string line1 = "\n1|1|A-001|Bolt|box|S1|Shelf one||2027-01-31|3|2.5|7.5|m1|0|0|1|" +
                            std::to_string(bom_line1_a_);
  const std::string line10 = "\n10|2|B-002|Motor|pcs|S1|Shelf one|SN1|<null>|1|0|0|m10|30|0|0|0";
  const struct {
    const char* sql;  // run before the call, if any
    const char* id;
    const char* login;
    std::string err, text;
  } cases[] = {
      // Line numbers in text order: "1" < "10" < "2".
      {nullptr, kBill, "amy", "",
       head + line1 + line10 + "\n2|3|C-003|Nut|pcs|S1|Shelf one||<null>|2.5|0|0||0|0|0|0"},
      {nullptr, "nosuchbill", "amy", "没有找到编号为 nosuchbill 的生产领料单！",
       kNoHeader + "\n<no rowset>"},
      {nullptr, "x1", "tina", "沒有找到編號爲 x1 的生產領料單！", kNoHeader + "\n<no rowset>"},
      {nullptr, kBill, "zed", kNoReadRight, kNoHeader + "\n<no rowset>"},
      // A caller the user service does not know: its text, no right check.
      {nullptr, kBill, "ghost",
       "user 'ghost' is not a user of company database '" + company_.name() + "'",
       kNoHeader + "\n<no rowset>"},
      // Lines without stock settings or with an unknown shelf are left out.
      {"DELETE FROM FD_ArtStore WHERE ID = 3", kBill, "amy", "", head + line1 + line10},
      {"UPDATE MF_OutDetail SET ShelfID = 'S9' WHERE SortID = '10'", kBill, "amy", "",
       head + line1},
      // With every line like that the rowset is empty, and still a success.
      {"DELETE FROM FD_ArtStore WHERE ID = 1", kBill, "amy", "", head},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " as " + c.login);
    if (c.sql != nullptr) company_.Exec(c.sql);
    Answer a = GetContent(c.id, c.login);
    EXPECT_EQ(a.ok, c.err.empty());
    EXPECT_EQ(a.err, c.err);
    EXPECT_EQ(a.text, c.text);
  }
  EXPECT_TRUE(log_.Records().empty());
}

// A bill not executed yet shows today, without a time, and no executer.
// The out-parameters are filled in the order Notes, Date, ExeDate, OrdBill,
// OrdSortID, ..., Maker, Execer, Operator: a NULL where a value is needed
// stops there, with the composed text and one record.
TEST_F(ContentOpsTest, GetContentFillsInOrderUntilANull) {
  ASSERT_TRUE(AddNew(kBill, {{}}).ok);
  EXPECT_EQ(GetContent(kBill).text, "2026-12-06|today|MO1|1||||||Amy||Oscar|memo\n" + kLines +
                                        "\n1|1|A-001|Bolt|pcs|S1|Shelf one||<null>|1|0|0||0|0|0|0");
  const struct {
    const char* column;
    std::string header;
  } cases[] = {
      {"Notes", kNoHeader},
      {"Date",
       "1999-01-01|1999-01-02|?ord|?line|?opcate|?proj|?projname|?item|?itemname|?maker|"
       "?execer|?operator|memo"},
      {"OrdBill",
       "2026-12-06|today|?ord|?line|?opcate|?proj|?projname|?item|?itemname|?maker|"
       "?execer|?operator|memo"},
      {"OrdSortID",
       "2026-12-06|today|MO1|?line|?opcate|?proj|?projname|?item|?itemname|?maker|"
       "?execer|?operator|memo"},
      {"Maker", "2026-12-06|today|MO1|1||||||?maker|?execer|?operator|memo"},
      {"Operator", "2026-12-06|today|MO1|1||||||Amy||?operator|memo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    company_.Exec(std::string("UPDATE MF_OutBill SET ") + c.column + " = NULL");
    log_.Clear();
    Answer got = GetContent(kBill);
    EXPECT_EQ(got.err, "94-Invalid use of Null-Plexavo-Plexavo.GetContent");
    EXPECT_EQ(got.text, c.header + "\n<no rowset>");
    ASSERT_EQ(log_.Records().size(), 1u);
    EXPECT_EQ(log_.Records()[0].rfind("Method: Plexavo.GetContent\r\n", 0), 0u);
    // Restore the bill for the next column.
    company_.Exec(
        "UPDATE MF_OutBill SET Notes = 'memo', Date = :d, OrdBill = 'MO1', OrdSortID = '1', "
        "Maker = 'Amy', Operator = 'Oscar'",
        {{"d", D("2026-12-06")}});
  }
  EXPECT_TRUE(GetContent(kBill).ok);
}

TEST_F(ContentOpsTest, DetailInfoAnswersOneExecutedLineOrRefuses) {
  ExecutedBill();
  ASSERT_TRUE(AddNew("202612060002", {{}}).ok);  // not executed
  company_.AddUser("zed", "Zed", "", {"MF0302", "MF0303"});
  company_.Exec(
      "UPDATE MF_OutDetail SET Price = :p, UnQty = :u WHERE BillID = :id AND SortID = '1'",
      {{"p", C("2.5")}, {"u", C("1")}, {"id", kBill}});
  const std::string detail = "2026-12-07|1|A-001|36|2|box|2.5|m1";  // 3 boxes; 1 of 3 back
  const struct {
    const char *ord, *ord_line, *bill, *line, *login;
    std::string err, text;
    const char* stored_ord = "MO1";  // the bill's order and order line; nullptr: NULL
    const char* stored_line = "1";
  } cases[] = {
      {"MO1", "1", kBill, "1", "amy", "", detail},
      {"MO1", "1", kBill, "1", "zed", kNoReadRight, kNoDetail},
      {"MO1", "1", kBill, "9", "amy", "非法的领料单号或序号！", kNoDetail},
      {"MO1", "1", "202612069999", "1", "amy", "非法的领料单号或序号！", kNoDetail},
      {"MO1", "1", "202612060002", "1", "amy", "对应的领料单尚未执行！", kNoDetail},
      {"MO2", "1", kBill, "1", "amy", kMismatch, kNoDetail},
      {"MO1", "2", kBill, "1", "amy", kMismatch, kNoDetail},
      {"mo1", "1", kBill, "1", "amy", kMismatch, kNoDetail},
      {"MO1", "", kBill, "1", "amy", kMismatch, kNoDetail},
      // The stored order line counts trimmed, the given one does not. A
      // NULL leaves its comparison undecided: only the other one can refuse.
      {"MO1", "1", kBill, "1", "amy", "", detail, "MO1", " 1 "},
      {"MO1", " 1", kBill, "1", "amy", kMismatch, kNoDetail},
      {"MO1", "1", kBill, "1", "amy", "", detail, "MO1", "1 "},
      {"MO1", "1", kBill, "1", "amy", "", detail, nullptr, "1"},
      {"MO9", "1", kBill, "1", "amy", "", detail, nullptr, "1"},
      {"MO1", "2", kBill, "1", "amy", kMismatch, kNoDetail, nullptr, "1"},
      {"MO1", "7", kBill, "1", "amy", "", detail, "MO1", nullptr},
      {"MO2", "1", kBill, "1", "amy", kMismatch, kNoDetail, "MO1", nullptr},
      {"MO9", "9", kBill, "1", "amy", "", detail, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ord) + "/'" + c.ord_line + "' " + c.bill + "/" + c.line +
                 " stored " + (c.stored_ord ? c.stored_ord : "NULL") + "/'" +
                 (c.stored_line ? c.stored_line : "NULL") + "'");
    company_.Exec("UPDATE MF_OutBill SET OrdBill = :o, OrdSortID = :l WHERE BillID = :id",
                  {{"o", c.stored_ord ? base::Value(c.stored_ord) : base::Value()},
                   {"l", c.stored_line ? base::Value(c.stored_line) : base::Value()},
                   {"id", kBill}});
    Answer d = DetailInfo(c.ord, c.ord_line, c.bill, c.line, c.login);
    EXPECT_EQ(d.err, c.err);
    EXPECT_EQ(d.ok, c.err.empty());
    EXPECT_EQ(d.text, c.text);
  }
  EXPECT_TRUE(log_.Records().empty());
  // A NULL ends the call after filling what came before it.
  company_.Exec("UPDATE MF_OutDetail SET Memo = NULL, Price = 0, UnQty = 0 WHERE SortID = '1'");
  Answer d = DetailInfo("MO1", "1", kBill, "1");
  EXPECT_EQ(d.err, "94-Invalid use of Null-Plexavo-Plexavo.DetailInfo");
  EXPECT_EQ(d.text, "1999-01-01|1|A-001|36|3|box|0|?memo");
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
  company_.AddUser("tina", "Tina", "T", {});
  const std::string head =
      "ExeDate:date BillID:text SortID:text ArtCode:text ArtName:text MeasID:text Qty:currency "
      "UnQty:currency SerialNo:text ValidDate:date";
  const struct {
    const char *line, *beg, *end, *login;
    std::string err, text;
  } cases[] = {
      {"1", "2026-12-03", "2026-12-05", "amy", "",
       head + "\n2026-12-03|202612020001|1|A-001|Bolt|pcs|4|1.5||<null>" +
           "\n2026-12-05|202612050001|1|B-002|Motor|pcs|1|0|SN2|2027-02-01"},
      // Nothing in the range for the whole order (OrdSortID '').
      {"", "2026-12-01", "2026-12-31", "amy", "", head},
      {"1", "2026-12-01", "2026-12-31", "tina", "沒有生產領料單的讀權限！", "<no rowset>"},
  };
  for (const auto& c : cases) {
    Answer a = OpenLines("MO1", c.line, c.beg, c.end, c.login);
    EXPECT_EQ(a.err, c.err);
    EXPECT_EQ(a.text, c.text);
  }
}

TEST_F(ContentOpsTest, OutUnListRstEndDateExcludesAStoredTimeAfterMidnight) {
  ASSERT_TRUE(AddNew(kBill, {{}}, true, "amy", "2026-12-06").ok);
  company_.Exec("UPDATE MF_OutBill SET ExeDate = :t", {{"t", D("2026-12-06 10:30:00")}});
  // A backend that keeps the time of day holds it; one that keeps days only
  // holds the bare day, which lies within the day's bound.
  const bool time_kept = company_.Text("SELECT ExeDate FROM MF_OutBill").size() > 10;
  auto rows = [&](const char* beg, const char* end) {
    Answer a = OpenLines("MO1", "1", beg, end);
    EXPECT_TRUE(a.ok) << a.err;
    return std::count(a.text.begin(), a.text.end(), '\n');
  };
  EXPECT_EQ(rows("2026-12-06", "2026-12-06"), time_kept ? 0 : 1);
  EXPECT_EQ(rows("2026-12-06", "2026-12-07 00:00:00"), 1);
  // The given bounds lose their time of day.
  EXPECT_EQ(rows("2026-12-06 23:00:00", "2026-12-07"), 1);
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
  const std::string executed = "编号为 202612060002 的生产领料单已经执行，不能修改及删除！";
  struct Case {
    const char* id;
    const char* login;
    std::string err;
    bool grant = false;  // amy gets the right to change others' bills first
  } cases[] = {
      {"202612060001", "ned", ""},
      {"202612060001", "amy", others},
      {"202612060001", "tina", "只能修改/刪除自己製作的生產通知單！"},
      {"202612060002", "amy", executed},
      {"202612060002", "ned", executed},
      {"202612060003", "ned", ""},  // no maker: nobody else's
      {"202612069999", "amy", "没有找到编号为 202612069999 的生产领料单！"},
      {"202612060001", "rita", "没有生产领料单的维护权限！"},
      {"202612060001", "moe", "没有生产领料单的维护权限！"},
      {"202612060001", "ghost",
       "user 'ghost' is not a user of company database '" + company_.name() + "'"},
      // With the right to change others' bills the maker no longer matters;
      // an executed bill stays locked.
      {"202612060001", "amy", "", true},
      {"202612060002", "amy", executed},
  };
  for (const Case& c : cases) {
    if (c.grant) {
      company_.Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', 'SP0602')");
    }
    for (bool del : {false, true}) {
      SCOPED_TRACE(std::string(del ? "CanDelete " : "CanEdit ") + c.id + " as " + c.login);
      std::string err;
      const bool ok = Read(c.login, [&](MF_OutBill& r) {
        return del ? r.CanDelete(c.id, company_.name(), err)
                   : r.CanEdit(c.id, company_.name(), err);
      });
      EXPECT_EQ(ok, c.err.empty());
      EXPECT_EQ(err, c.err);
      EXPECT_EQ(read_vote_, ok ? host::Vote::kComplete : host::Vote::kAbort);
    }
  }
  EXPECT_TRUE(log_.Records().empty());
}

}  // namespace
}  // namespace reader
