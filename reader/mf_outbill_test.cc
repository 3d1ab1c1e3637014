// The reader's operations, called as a caller would (a fresh object per
// call), each judged by its exact answer and error texts, its vote and the
// event-log records it writes.
#include "reader/mf_outbill.h"

#include <gtest/gtest.h>

#include <sstream>

#include "company/cnn_string.h"
#include "platform/event_log.h"
#include "services/depot_service.h"
#include "services/sql_user_service.h"
#include "tests/bill_fixture.h"
#include "tests/probe_object.h"

namespace reader {
namespace {

using host::Vote;
using testing_support::C;
using testing_support::D;
using testing_support::Dump;

constexpr const char* kBill = "202612060001";
const std::string kLines =
    "SortID:text ArtID:int ArtCode:text ArtName:text MeasID:text ShelfID:text ShelfName:text "
    "SerialNo:text ValidDate:date Qty:currency Price:currency Amt:currency Memo:text KeepDay:int "
    "Serial:int UnQty:currency OrdBomID:int";
// GetContent's header parameters as the call found them: every one is
// preset to a value no bill holds, so that one the call leaves alone shows.
const std::string kNoHeader =
    "1999-01-01|1999-01-02|?ord|?line|?opcate|?proj|?projname|?item|?itemname|?maker|?execer|"
    "?operator|?memo\n<no rowset>";
// DetailInfo's result and parameters (date|article|code|stock qty|
// returnable|unit|price|memo), preset alike.
const std::string kNoDetail = "0|1999-01-01|-1|?code|-1|-2|?meas|-3|?memo";
const std::string kNoRead = "没有生产领料单的读权限！";
const std::string kNoReadT = "沒有生產領料單的讀權限！";
const std::string kMismatch = "领料单对应的生产单及序号和指定的生产单及序号不一致！";
const std::string k10340 = "在指定的仓库中没有出库权限！";

// One call of a table and what it must answer.
struct Query {
  std::string call;  // operation and arguments, "/"-separated (see Answer)
  std::string err, text;
  const char* login = "amy";
  const char* sql = nullptr;  // run before the call
  std::string records = "";   // first lines of the event-log records it writes, each ended by ";"
};

class MF_OutBillTest : public testing_support::BillFixture {
 protected:
  // Zed may do everything with issue bills but read them.
  MF_OutBillTest() { company_.AddUser("zed", "Zed", "", {"MF0302", "MF0303"}); }

  // The answer text of `call`. Out-parameters are preset to values no call
  // answers ("?name", "keep", -1, 7 ...) and follow the result, "|"-joined;
  // rowsets as Dump gives them; a bool result leads as 1 or 0.
  std::string Answer(MF_OutBill& r, const std::string& call, std::string& err) {
    std::vector<std::string> a;
    std::istringstream in(call);
    for (std::string part; std::getline(in, part, '/');) a.push_back(part);
    a.resize(7);
    const std::string &op = a[0], &db = company_.name();
    auto d = [&](int i) { return D(a[i].c_str()); };
    if (op == "GetContent") {
      base::DateTime date = D("1999-01-01"), exe = D("1999-01-02");
      std::string t[11] = {"?ord",      "?line",  "?opcate", "?proj",     "?projname", "?item",
                           "?itemname", "?maker", "?execer", "?operator", "?memo"};
      auto lines = r.GetContent(a[1], date, exe, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7],
                                t[8], t[9], t[10], db, err);
      std::string text = date.FormatIso() + "|" + exe.FormatIso();
      for (const std::string& s : t) text += "|" + s;
      return text + "\n" + Dump(lines);
    }
    if (op == "DetailInfo") {
      base::DateTime out = D("1999-01-01");
      int32_t art = -1;
      std::string code = "?code", meas = "?meas", memo = "?memo";
      base::Currency st = C("-1"), can_un = C("-2"), price = C("-3");
      const bool ok = r.DetailInfo(a[1], a[2], a[3], a[4], out, art, code, st, can_un, meas, price,
                                   memo, db, err);
      return std::to_string(ok) + "|" + out.FormatIso() + "|" + std::to_string(art) + "|" + code +
             "|" + st.ToPlainString() + "|" + can_un.ToPlainString() + "|" + meas + "|" +
             price.ToPlainString() + "|" + memo;
    }
    if (op == "OutUnListRst") return Dump(r.OutUnListRst(a[1], a[2], d(3), d(4), db, err));
    if (op == "CanEdit") return std::to_string(r.CanEdit(a[1], db, err));
    if (op == "CanDelete") return std::to_string(r.CanDelete(a[1], db, err));
    if (op == "BillList") {
      return Dump(r.BillList(a[1], d(2), d(3), a[4], std::stoi(a[5]), a[6], db, err));
    }
    if (op == "PrintRst") {
      return Dump(r.PrintRst(a[1], a[2], a[3], std::stoi(a[4]), d(5), d(6), db, err));
    }
    if (op == "GetMeasID") return r.GetMeasID(std::stoi(a[1]), db, err);
    if (op == "GetItemName") return r.GetItemName(a[1], db, err);
    if (op == "GetProjectName") return r.GetProjectName(a[1], db, err);
    if (op == "GetShelfName") return r.GetShelfName(a[1], db, err);
    if (op == "GetRstOpCate") return Dump(r.GetRstOpCate(db, err));
    if (op == "GetRstMaker") return Dump(r.GetRstMaker(db, err));
    if (op == "ShopRst") return Dump(r.ShopRst(db, err));
    std::string code = "keep", name = "keep", meas = "keep", shelf = "keep";
    if (op == "OrderBomRst") {
      base::Currency qty = C("7");
      auto rows = r.OrderBomRst(a[1], a[2], code, name, qty, db, err);
      return code + "|" + name + "|" + qty.ToPlainString() + "\n" + Dump(rows);
    }
    EXPECT_EQ(op, "ArtExInfo");
    int32_t id = -1, serial = -1, keep = -1;
    const bool ok = r.ArtExInfo(a[1], id, name, meas, serial, keep, shelf, db, err);
    return std::to_string(ok) + "|" + std::to_string(id) + "|" + name + "|" + meas + "|" +
           std::to_string(serial) + "|" + std::to_string(keep) + "|" + shelf;
  }

  // Runs the queries in order: the statement, the call as a root call, its
  // answer, error text and records; the vote follows the error text.
  void Run(const std::vector<Query>& queries) {
    for (const Query& q : queries) {
      SCOPED_TRACE(q.call + " as " + q.login + (q.sql ? std::string(" after ") + q.sql : ""));
      if (q.sql != nullptr) company_.Exec(q.sql);
      std::string err;
      EXPECT_EQ(Read(q.login, [&](MF_OutBill& r) { return Answer(r, q.call, err); }), q.text);
      EXPECT_EQ(err, q.err);
      EXPECT_EQ(read_vote_, q.err.empty() ? Vote::kComplete : Vote::kAbort);
      std::string records;
      for (const std::string& r : log_.Records()) records += r.substr(0, r.find("\r\n")) + ";";
      log_.Clear();
      EXPECT_EQ(records, q.records);
    }
  }

  std::string Unknown(const char* login) {
    return "user '" + std::string(login) + "' is not a user of company database '" +
           company_.name() + "'";
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

// The header's out-parameters are filled in the order Notes, Date, ExeDate,
// OrdBill, OrdSortID, ..., Maker, Execer, Operator: a NULL where a value is
// needed stops there, with the composed text and one record. Setting the
// NULLs from the last column to the first, each call stops at the newest.
TEST_F(MF_OutBillTest, GetContentReadsHeaderAndLinesInLineOrder) {
  ExecutedBill();
  company_.Exec("UPDATE MF_OutDetail SET Price = :p, Amt = :a, UnQty = :u WHERE SortID = '1'",
                {{"p", C("2.5")}, {"a", C("7.5")}, {"u", C("1")}});
  ASSERT_TRUE(AddNew("202612060002", {{}}).ok);  // not executed
  // NULL operation category and a cost item without a row give empty texts.
  const std::string exe = "2026-12-06|2026-12-07|", get = "GetContent/202612060001";
  const std::string head = exe + "MO1|1||P1|Project one|IX||Amy|Amy|Oscar|memo\n" + kLines;
  const std::string line1 = "\n1|1|A-001|Bolt|box|S1|Shelf one||2027-01-31|3|2.5|7.5|m1|0|0|1|" +
                            std::to_string(bom_line1_a_);
  const std::string line10 = "\n10|2|B-002|Motor|pcs|S1|Shelf one|SN1|<null>|1|0|0|m10|30|0|0|0";
  const std::string null = "94-Invalid use of Null-Plexavo-Plexavo.GetContent";
  const std::string rec = "Method: Plexavo.GetContent;", none = "\n<no rowset>";
  const std::string today = base::DateTime::Now().DateOnly().FormatIso();
  const std::string unset = "?opcate|?proj|?projname|?item|?itemname|?maker|?execer|?operator|";
  Run({
      // Line numbers in text order: "1" < "10" < "2".
      {get, "",
       head + line1 + line10 + "\n2|3|C-003|Nut|pcs|S1|Shelf one||<null>|2.5|0|0||0|0|0|0"},
      // A bill not executed yet shows today, without a time, and no executer.
      {"GetContent/202612060002", "",
       "2026-12-06|" + today + "|MO1|1||||||Amy||Oscar|memo\n" + kLines +
           "\n1|1|A-001|Bolt|pcs|S1|Shelf one||<null>|1|0|0||0|0|0|0"},
      {"GetContent/nosuchbill", "没有找到编号为 nosuchbill 的生产领料单！", kNoHeader},
      {get, kNoRead, kNoHeader, "zed"},
      // A caller the user service does not know: its text, no right check.
      {get, Unknown("ghost"), kNoHeader, "ghost"},
      // Lines without stock settings or with an unknown shelf are left out;
      // with every line like that the rowset is empty, and still a success.
      {get, "", head + line1 + line10, "amy", "DELETE FROM FD_ArtStore WHERE ID = 3"},
      {get, "", head + line1, "amy", "UPDATE MF_OutDetail SET ShelfID = 'S9' WHERE SortID = '10'"},
      {get, "", head, "amy", "DELETE FROM FD_ArtStore WHERE ID = 1"},
      {get, null, exe + "MO1|1||P1|Project one|IX||Amy|Amy|?operator|memo" + none, "amy",
       "UPDATE MF_OutBill SET Operator = NULL", rec},
      {get, null, exe + "MO1|1||P1|Project one|IX||?maker|?execer|?operator|memo" + none, "amy",
       "UPDATE MF_OutBill SET Maker = NULL", rec},
      {get, null, exe + "MO1|?line|" + unset + "memo" + none, "amy",
       "UPDATE MF_OutBill SET OrdSortID = NULL", rec},
      {get, null, exe + "?ord|?line|" + unset + "memo" + none, "amy",
       "UPDATE MF_OutBill SET OrdBill = NULL", rec},
      {get, null, "1999-01-01|1999-01-02|?ord|?line|" + unset + "memo" + none, "amy",
       "UPDATE MF_OutBill SET Date = NULL", rec},
      {get, null, kNoHeader, "amy", "UPDATE MF_OutBill SET Notes = NULL", rec},
  });
}

// The stored order line counts trimmed, the given one does not. A NULL
// leaves its comparison undecided: only the other one can refuse.
TEST_F(MF_OutBillTest, DetailInfoAnswersOneExecutedLineOrRefuses) {
  ExecutedBill();
  ASSERT_TRUE(AddNew("202612060002", {{}}).ok);  // not executed
  company_.Exec(
      "UPDATE MF_OutDetail SET Price = :p, UnQty = :u WHERE BillID = :id AND SortID = '1'",
      {{"p", C("2.5")}, {"u", C("1")}, {"id", kBill}});
  const std::string detail = "1|2026-12-07|1|A-001|36|2|box|2.5|m1";  // 3 boxes; 1 of 3 back
  const std::string no_line = "非法的领料单号或序号！";
  Run({
      {"DetailInfo/MO1/1/202612060001/1", "", detail},
      {"DetailInfo/MO1/1/202612060001/1", kNoRead, kNoDetail, "zed"},
      {"DetailInfo/MO1/1/202612060001/9", no_line, kNoDetail},
      {"DetailInfo/MO1/1/202612069999/1", no_line, kNoDetail},
      {"DetailInfo/MO1/1/202612060002/1", "对应的领料单尚未执行！", kNoDetail},
      {"DetailInfo/MO2/1/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO1/2/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/mo1/1/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO1//202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO1/ 1/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO1/1/202612060001/1", "", detail, "amy",
       "UPDATE MF_OutBill SET OrdSortID = ' 1 '"},
      {"DetailInfo/MO9/1/202612060001/1", "", detail, "amy",
       "UPDATE MF_OutBill SET OrdBill = NULL, OrdSortID = '1'"},
      {"DetailInfo/MO1/2/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO1/7/202612060001/1", "", detail, "amy",
       "UPDATE MF_OutBill SET OrdBill = 'MO1', OrdSortID = NULL"},
      {"DetailInfo/MO2/1/202612060001/1", kMismatch, kNoDetail},
      {"DetailInfo/MO9/9/202612060001/1", "", detail, "amy",
       "UPDATE MF_OutBill SET OrdBill = NULL"},
      // A NULL ends the call after filling what came before it.
      {"DetailInfo/MO9/9/202612060001/1", "94-Invalid use of Null-Plexavo-Plexavo.DetailInfo",
       "0|1999-01-01|1|A-001|36|3|box|0|?memo", "amy",
       "UPDATE MF_OutDetail SET Memo = NULL, Price = 0, UnQty = 0 WHERE SortID = '1'",
       "Method: Plexavo.DetailInfo;"},
  });
}

// The date bounds lose their time of day, and a stored execution time after
// midnight lies after its day's end bound on a backend that keeps it.
TEST_F(MF_OutBillTest, OutUnListRstListsExecutedLinesStillOpenForReturn) {
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
  // kBill: executed 12-06 at 10:30.
  ASSERT_TRUE(AddNew(kBill, {{}}, true, "amy", "2026-12-06").ok);
  company_.Exec("UPDATE MF_OutBill SET ExeDate = :t WHERE BillID = :id",
                {{"t", D("2026-12-06 10:30:00")}, {"id", kBill}});
  // A backend that keeps the time of day holds it; one that keeps days only
  // holds the bare day, which lies within the day's bound.
  const bool kept =
      company_.Text("SELECT ExeDate FROM MF_OutBill WHERE BillID = '" + std::string(kBill) + "'")
          .size() > 10;
  // Not listed: another order line, an unexecuted bill.
  ASSERT_TRUE(AddNew("202612050002", {{}}, true, "amy", "2026-12-05", "MO1", "2").ok);
  ASSERT_TRUE(AddNew("202612050003", {{}}, false, "amy", "2026-12-05").ok);
  company_.AddUser("tina", "Tina", "T", {});
  const std::string head =
      "ExeDate:date BillID:text SortID:text ArtCode:text ArtName:text MeasID:text Qty:currency "
      "UnQty:currency SerialNo:text ValidDate:date";
  const std::string on06 =
      head + "\n2026-12-06" + (kept ? "T10:30:00|" : "|") + kBill + "|1|A-001|Bolt|pcs|1|0||<null>";
  Run({
      {"OutUnListRst/MO1/1/2026-12-03/2026-12-05", "",
       head + "\n2026-12-03|202612020001|1|A-001|Bolt|pcs|4|1.5||<null>" +
           "\n2026-12-05|202612050001|1|B-002|Motor|pcs|1|0|SN2|2027-02-01"},
      {"OutUnListRst/MO1/1/2026-12-06/2026-12-06", "", kept ? head : on06},
      {"OutUnListRst/MO1/1/2026-12-06 23:00:00/2026-12-07", "", on06},
      // Nothing in the range for the whole order (OrdSortID '').
      {"OutUnListRst/MO1//2026-12-01/2026-12-31", "", head},
      {"OutUnListRst/MO1/1/2026-12-01/2026-12-31", kNoReadT, "<no rowset>", "tina"},
  });
}

// Each case asks CanEdit, then CanDelete, which answers alike.
TEST_F(MF_OutBillTest, CanEditAndCanDeleteGuardOwnershipAndExecution) {
  company_.AddUser("rita", "Rita", "", {"MF0301"});
  company_.AddUser("tina", "Tina", "T", {"MF0301", "MF0302"});
  ASSERT_TRUE(AddNew("202612060001", {{}}, false, "ned").ok);  // Ned's
  ASSERT_TRUE(AddNew("202612060002", {{}}, true, "amy").ok);   // executed
  ASSERT_TRUE(AddNew("202612060003", {{}}, false, "amy").ok);
  company_.Exec("UPDATE MF_OutBill SET Maker = NULL WHERE BillID = '202612060003'");
  const std::string others = "只能修改/删除自己制作的生产通知单！";
  const std::string executed = "编号为 202612060002 的生产领料单已经执行，不能修改及删除！";
  const std::string no_right = "没有生产领料单的维护权限！";
  const Query cases[] = {
      {"CanEdit/202612060001", "", "1", "ned"},
      {"CanEdit/202612060001", others, "0"},
      {"CanEdit/202612060001", "只能修改/刪除自己製作的生產通知單！", "0", "tina"},
      {"CanEdit/202612060002", executed, "0", "ned"},
      {"CanEdit/202612060003", "", "1", "ned"},  // no maker: nobody else's
      {"CanEdit/202612069999", "没有找到编号为 202612069999 的生产领料单！", "0"},
      {"CanEdit/202612060001", no_right, "0", "rita"},
      // With the right to change others' bills the maker no longer matters;
      // an executed bill stays locked.
      {"CanEdit/202612060001", "", "1", "amy",
       "INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', 'SP0602')"},
      {"CanEdit/202612060002", executed, "0"},
  };
  std::vector<Query> queries;
  for (const Query& c : cases) {
    queries.push_back(c);
    queries.push_back({"CanDelete" + c.call.substr(7), c.err, c.text, c.login});
  }
  Run(queries);
}

// The bills every list test starts from, in December 2026 (period 202612):
//   kB1  12-02, MO1 line 1 (workshop W1), Amy, executed 12-03, two lines
//   kB2  12-04, MO2 line 1 (workshop W2), Ned, one line on shelf S2
//   kB3  12-06, MO1 line 2 (W1), Amy, named operation category and project,
//        a cost item without a row, three lines
//   kB4  12-08, MO1 line 1, Amy, executed 12-09, its lines removed
constexpr const char* kB1 = "202612020001";
constexpr const char* kB2 = "202612040001";
constexpr const char* kB3 = "202612060001";
constexpr const char* kB4 = "202612080001";

class ListOpsTest : public MF_OutBillTest {
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
    company_.Exec("INSERT INTO FD_Project (ID, Name) VALUES ('P1', 'Project one')");
    company_.Exec(
        "UPDATE MF_OutBill SET OpCateID = 'OC1', ProjID = 'P1', ItemID = 'IX' WHERE BillID = :id",
        {{"id", kB3}});
  }
};

// Both lists in number order, every column. BillList: a cost item without
// a row gives a NULL name. PrintRst: codes only, no names; DeptID as the
// order line gave it; the shelf's balance of article and serial number, 0
// without a balance row; bill kB4 has no lines and yields no row.
// BillList/number/from/to/workshop/state/maker and
// PrintRst/number/first/last/flag/from/to: flag 0 for bill dates, any other
// for execution dates.
TEST_F(ListOpsTest, ListsFilterAndAnswerTheirColumns) {
  const std::string nulls = "<null>|<null>|<null>|<null>|<null>|<null>";
  const std::string list =
      "BillID:text Date:date ExeDate:date OrdBill:text OrdSortID:text OpCateID:text "
      "OpCateName:text ProjID:text ProjName:text ItemID:text ItemName:text Notes:text "
      "Operator:text Maker:text Execer:text";
  const std::string b1 =
      "\n202612020001|2026-12-02|2026-12-03|MO1|1|" + nulls + "|memo|Oscar|Amy|Amy";
  const std::string b2 =
      "\n202612040001|2026-12-04|<null>|MO2|1|" + nulls + "|memo|Oscar|Ned|<null>";
  const std::string b3 =
      "\n202612060001|2026-12-06|<null>|MO1|2|OC1|Cutting|P1|Project one|IX|<null>|memo|Oscar|Amy|"
      "<null>";
  const std::string b4 =
      "\n202612080001|2026-12-08|2026-12-09|MO1|1|" + nulls + "|memo|Oscar|Amy|Amy";
  const std::string all = list + b1 + b2 + b3 + b4;
  auto bal = [&](const char* shelf, int32_t art) { return Balance(shelf, art).ToPlainString(); };
  ASSERT_NE(bal("S1", 1), "0");
  const std::string print =
      "BillID:text Date:date ExeDate:date OrdBill:text OrdSortID:text OpCateID:text ProjID:text "
      "DeptID:text ItemID:text Notes:text Operator:text MakerName:text ExecerName:text "
      "SortID:text ArtID:int ArtCode:text ArtName:text MeasID:text ShelfID:text ShelfName:text "
      "SerialNo:text ValidDate:date Qty:currency Price:currency Amt:currency Memo:text "
      "ShelfBal:currency OrdBomID:int";
  const std::string h1 =
      "\n202612020001|2026-12-02|2026-12-03|MO1|1|<null>|<null>|D1|<null>|memo|Oscar|Amy|Amy|";
  const std::string h3 =
      "\n202612060001|2026-12-06|<null>|MO1|2|OC1|P1|<null>|IX|memo|Oscar|Amy|<null>|";
  const std::string p1 = h1 + "1|1|A-001|Bolt|pcs|S1|Shelf one||<null>|4|0|0||" + bal("S1", 1) +
                         "|0" + h1 + "2|3|C-003|Nut|pcs|S1|Shelf one||<null>|1|0|0||" +
                         bal("S1", 3) + "|0";
  const std::string p2 =
      "\n202612040001|2026-12-04|<null>|MO2|1|<null>|<null>|<null>|<null>|memo|Oscar|Ned|<null>|1|"
      "1|"
      "A-001|Bolt|pcs|S2|Shelf two||<null>|2|0|0||" +
      bal("S2", 1) + "|0";
  const std::string p3_10 = h3 + "10|2|B-002|Motor|pcs|S1|Shelf one|SN9|2027-03-01|1|0|0||0|0";
  const std::string p3 = h3 + "1|1|A-001|Bolt|box|S1|Shelf one||<null>|1|0|0|boxed|" +
                         bal("S1", 1) + "|0" + p3_10 + h3 +
                         "2|3|C-003|Nut|pcs|S1|Shelf one||<null>|2|0|0||" + bal("S1", 3) + "|0";
  Run({
      {"BillList//2026-12-01/2026-12-31//0", "", all},
      {"BillList//2026-12-02/2026-12-04//0", "", list + b1 + b2},  // ends included
      {"BillList//2026-12-04/2026-12-02//0", "", list + b1 + b2},  // swapped range
      {"BillList//2026-12-04 18:00:00/2026-12-06 06:00:00//0", "", list + b2 + b3},
      {"BillList//2026-12-01/2026-12-31//1", "", list + b2 + b3},  // not executed
      {"BillList//2026-12-01/2026-12-31//2", "", list + b1 + b4},  // executed
      {"BillList//2026-12-01/2026-12-31//-1", "", all},            // any other: both
      {"BillList//2026-12-01/2026-12-31//0/Ned", "", list + b2},
      {"BillList//2026-12-01/2026-12-31//0/Zoe", "", list},
      {"BillList//2026-12-01/2026-12-31/W1/0", "", list + b1 + b3 + b4},
      {"BillList//2026-12-01/2026-12-31/W9/0", "", list},  // a workshop without orders
      {"BillList//2026-12-07/2026-12-01/W1/1/Amy", "", list + b3},
      // A number overrides the other filters.
      {"BillList/202612040001/2025-01-01/2025-01-02/W1/2/Amy", "", list + b2},
      {"BillList/202612319999/2026-12-01/2026-12-31//0", "", list},
      {"BillList//2026-12-01/2026-12-31/W1' OR '1'='1/0", "", list},
      // Without the read right (the refusal in the caller's language and a
      // caller the user service does not know: GetContent, OutUnListRst).
      {"BillList/202612020001/2026-12-01/2026-12-31//0", kNoRead, "<no rowset>", "zed"},
      {"PrintRst////0/2026-12-01/2026-12-31", "", print + p1 + p2 + p3},
      {"PrintRst////0/2026-12-02/2026-12-04", "", print + p1 + p2},
      {"PrintRst////0/2026-12-04 12:00:00/2026-12-04 00:00:01", "", print + p2},
      {"PrintRst////0/2026-12-31/2026-12-01", "", print},  // reversed range
      {"PrintRst////-7/2026-12-03/2026-12-03", "", print + p1},
      {"PrintRst///202612020001/1/2026-12-01/2026-12-31", "", print + p1},
      {"PrintRst//202612040001//1/2026-12-01/2026-12-31", "", print},
      {"PrintRst//202612040001//0/2026-12-01/2026-12-31", "", print + p2 + p3},
      {"PrintRst///202612040001/0/2026-12-01/2026-12-31", "", print + p1 + p2},
      {"PrintRst//2026120/202612050000/0/2026-12-01/2026-12-31", "", print + p1 + p2},
      {"PrintRst/202612060001/202612020001/202612020001/1/2026-12-31/2026-12-01", "", print + p3},
      {"PrintRst/202612020001///0/2026-12-01/2026-12-31", kNoRead, "<no rowset>", "zed"},
  });
  // PrintRst leaves out lines without article or shelf; stock settings do
  // not matter to it.
  company_.Exec("UPDATE MF_OutDetail SET ShelfID = 'S9' WHERE BillID = :id AND SortID = '2'",
                {{"id", kB3}});
  company_.Exec("UPDATE MF_OutDetail SET ArtID = 99 WHERE BillID = :id AND SortID = '1'",
                {{"id", kB3}});
  Run({{"PrintRst/202612060001///0/2026-12-01/2026-12-31", "", print + p3_10, "amy",
        "DELETE FROM FD_ArtStore"}});
}

class LookupOpsTest : public MF_OutBillTest {
 protected:
  LookupOpsTest() {
    company_.AddUser("tia", "Tia", "T", {});
    for (const char* sql : {
             "INSERT INTO ST_Depot (ID, Name) VALUES ('D1', 'Main'), ('D2', 'Side')",
             "UPDATE ST_Shelf SET DepotID = 'D1' WHERE ID = 'S1'",
             "UPDATE ST_Shelf SET DepotID = 'D2' WHERE ID = 'S2'",
             "INSERT INTO ST_Shelf (ID, Name) VALUES ('S3', 'Loose')",  // in no depot
             "INSERT INTO ST_DepotRight (LoginName, DepotID, Direction) VALUES ('amy', 'D1', 2), "
             "('amy', 'D2', 1), ('tia', 'D1', 1), ('ned', 'D2', 2)",
             "INSERT INTO FD_OpCate (ID, Name) VALUES ('OC1', 'Rework'), ('OC2', 'Repair')",
             "INSERT INTO FD_Operator (ID, Name, DeptID) VALUES ('P2', 'Pia', NULL), "
             "('P1', 'Oscar', 'D1')",
             "INSERT INTO FD_Shop (ID, Name) VALUES ('W2', 'Paint'), ('W1', 'Assembly')",
             "INSERT INTO FD_Item (ID, Name) VALUES ('I1', 'Labour'), ('I2', NULL)",
             "INSERT INTO FD_Project (ID, Name) VALUES ('PR1', 'Bridge')",
             "UPDATE FD_Article SET MeasID = 'pcs', ShelfID = 'S1' WHERE ID = 1",
             "UPDATE FD_Article SET MeasID = 'set', Serial = 1, ShelfID = 'S2' WHERE ID = 2",
             "INSERT INTO FD_Article (ID, ArtCode, Name, ShelfID) VALUES (4, 'D-004', 'Pin', 'S7')",
         }) {
      company_.Exec(sql);
    }
    company_.Exec(
        "UPDATE MF_OrdDetail SET ArtID = 2, Qty = :q WHERE BillID = 'MO1' AND SortID = '1'",
        {{"q", C("25.5")}});
    company_.Exec("UPDATE MF_OrdBom SET Qty = :q", {{"q", C("100")}});
    company_.Exec("UPDATE MF_OrdBom SET OutQty = :q WHERE ID = :id",
                  {{"q", C("2.5")}, {"id", bom_line1_b_}});
  }
};

TEST_F(LookupOpsTest, LookUpsAnswerTheirValuesOrTheServicesText) {
  const std::string bom_head =
      "\nID:int ArtID:int ArtCode:text ArtName:text MeasID:text SerialNo:text Qty:currency "
      "OutQty:currency";
  auto bolt = [](int32_t id, const char* serial, const char* out) {
    return "\n" + std::to_string(id) + "|1|A-001|Bolt|pcs|" + serial + "|100|" + out;
  };
  Run({
      {"GetMeasID/1", "", "pcs", "ned"},
      {"GetMeasID/3", "", "", "ned"},  // an article without unit
      {"GetMeasID/99", "物品 99 不存在！(Article 99 does not exist.)", "", "ned"},
      {"GetItemName/I1", "", "Labour", "ned"},
      {"GetItemName/I2", "", "", "ned"},  // without name
      {"GetItemName/I9", "成本项目 I9 不存在！(Cost item I9 does not exist.)", "", "ned"},
      {"GetProjectName/PR1", "", "Bridge", "ned"},
      {"GetProjectName/I1", "项目 I1 不存在！(Project I1 does not exist.)", "", "ned"},
      // The lists come back whole, even without the read right.
      {"GetRstOpCate", "", "ID:text Name:text\nOC1|Rework\nOC2|Repair", "zed"},
      {"GetRstMaker", "", "ID:text Name:text DeptID:text\nP1|Oscar|D1\nP2|Pia|<null>", "zed"},
      {"ShopRst", "", "ID:text Name:text\nW1|Assembly\nW2|Paint", "zed"},
      // A shelf's name needs the stock-out right of the shelf's depot: the
      // stock-in right only, or a shelf in no depot, is refused.
      {"GetShelfName/S1", "", "Shelf one"},
      {"GetShelfName/S2", k10340, ""},
      {"GetShelfName/S3", k10340, ""},
      {"GetShelfName/S1", "在指定的倉庫中沒有出庫權限！", "", "tia"},
      {"GetShelfName/S9", "货位 S9 不存在！(Shelf S9 does not exist.)", ""},
      {"GetShelfName/S1", Unknown("ghost"), "", "ghost"},
      // The BOM rows of an order line and the line's product.
      {"OrderBomRst/MO1/1", "",
       "B-002|Motor|25.5" + bom_head + bolt(bom_line1_a_, "X", "0") +
           bolt(bom_line1_b_, "Y", "2.5") + "\n" + std::to_string(bom_line1_art2_) +
           "|3|C-003|Nut|<null>||100|0",
       "ned"},
      {"OrderBomRst/MO1", "", "||0" + bom_head + bolt(bom_whole_, "", "0"), "ned"},
      {"OrderBomRst/MO1/2", "", "||0" + bom_head, "ned"},  // no product, no BOM rows
      {"OrderBomRst/MO1/9", "生产单 MO1 没有序号为 9 的明细！(Production order MO1 has no line 9.)",
       "keep|keep|7\n<no rowset>", "ned"},
      {"OrderBomRst/MO9", "生产单 MO9 不存在！(Production order MO9 does not exist.)",
       "keep|keep|7\n<no rowset>", "ned"},
      // An article by its code; one without stock settings, on an unknown shelf.
      {"ArtExInfo/B-002", "", "1|2|Motor|set|1|30|S2", "ned"},
      {"ArtExInfo/D-004", "", "1|4|Pin||0|0|S7", "ned"},
      {"ArtExInfo/Z-9", "物品编码 Z-9 不存在！(Article code Z-9 does not exist.)",
       "0|-1|keep|keep|-1|-1|keep", "ned"},
  });
}

// Records what the reader asks; its name look-up always fails.
struct DepotCalls {
  bool allowed = false;
  std::vector<std::string> seen;
};
class RecordingDepots : public services::DepotService {
 public:
  RecordingDepots(host::ObjectContext& ctx, DepotCalls* calls) : DepotService(ctx), calls_(calls) {}
  bool CheckRight(const std::string& shelf, int32_t direction, bool& allowed, const std::string& db,
                  std::string&) override {
    calls_->seen.push_back("right " + shelf + " " + std::to_string(direction) + " " + db);
    allowed = calls_->allowed;
    return true;
  }
  std::string GetShelfName(const std::string& shelf, const std::string&,
                           std::string& err) override {
    calls_->seen.push_back("name " + shelf);
    err = "name look-up failed";
    return "";
  }

 private:
  DepotCalls* calls_;
};

TEST_F(LookupOpsTest, GetShelfNameWithoutTheRightNeverAsksForTheName) {
  DepotCalls calls;
  company_.classes().Register(
      {services::kDepotServiceProgId, host::TransactionAttribute::kSupports,
       [&](host::ObjectContext& ctx) { return std::make_unique<RecordingDepots>(ctx, &calls); }});
  for (bool allowed : {false, true}) {
    calls = DepotCalls{allowed, {}};
    Run({{"GetShelfName/S1", allowed ? "name look-up failed" : k10340, ""}});
    std::vector<std::string> expected = {"right S1 2 " + company_.name()};
    if (allowed) expected.push_back("name S1");
    EXPECT_EQ(calls.seen, expected);
  }
}

TEST_F(LookupOpsTest, AServiceThatCannotBeCreatedIsAnUnexpectedFailure) {
  host::ClassTable bare;  // the reader and the user service, no look-up service
  boundary::RegisterComponentClasses(bare);
  bare.Register(
      {services::kUserServiceProgId, host::TransactionAttribute::kSupports,
       [](host::ObjectContext& ctx) { return std::make_unique<services::SqlUserService>(ctx); }});
  // Each call answers what it was left with: its initial values.
  const struct {
    const char *call, *service, *initial;
  } cases[] = {
      {"GetMeasID/1", "Article", ""},
      {"ArtExInfo/A-001", "Article", "0|-1|keep|keep|-1|-1|keep"},
      {"GetRstMaker", "Operator", "<no rowset>"},
      {"GetShelfName/S1", "Depot", ""},
      {"GetItemName/I1", "Item", ""},
      {"GetProjectName/PR1", "Project", ""},
      {"OrderBomRst/MO1/1", "Order", "keep|keep|7\n<no rowset>"},
      {"ShopRst", "Shop", "<no rowset>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    host::Instance obj = host::Host(bare).CreateObject("Plexavo.MF_OutBill", "amy").value();
    std::string err;
    EXPECT_EQ(Answer(*obj.As<MF_OutBill>(), c.call, err), c.initial);
    const std::string op = std::string(c.call).substr(0, std::string(c.call).find('/'));
    EXPECT_EQ(err, std::string("429-ActiveX component can't create object: Plexavo.") + c.service +
                       "Service-Plexavo-Plexavo." + op);
    EXPECT_EQ(obj.context()->vote(), Vote::kAbort);
  }
}

TEST_F(LookupOpsTest, LookUpsJoinTheCallersTransaction) {
  testing_support::RegisterProbes(company_.classes());
  {
    host::Instance root =
        host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, "amy").value();
    data::Connection cnn;
    ASSERT_TRUE(
        cnn.Open(company::GetCnnString(company_.name()).value(), root.context()->enlistment())
            .ok());
    ASSERT_TRUE(
        cnn.Execute(data::Sql("INSERT INTO FD_Project (ID, Name) VALUES ('PR7', 'Dam')")).ok());
    host::Instance obj = root.context()->CreateInstance("Plexavo.MF_OutBill").value();
    std::string err;
    EXPECT_EQ(Answer(*obj.As<MF_OutBill>(), "GetProjectName/PR7", err), "Dam");
    EXPECT_EQ(err, "");
    (void)obj.Release();
    (void)root.Release();  // no vote: rolled back
  }
  EXPECT_EQ(company_.Text("SELECT Name FROM FD_Project WHERE ID = 'PR7'"), "<none>");
}

}  // namespace
}  // namespace reader
