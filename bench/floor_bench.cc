// The floor under the writer: a bill of L lines created and executed with
// plain prepared statements doing the same reads and writes on the same
// schema as AddNew with vblnAutoExe does (caller's user, rights, settings
// and period; order line; number; header and lines with the unit
// conversion; use log; stock balances and movements; execution stamp,
// order line start; BOM issued quantities; use log), in one transaction on
// one session, each statement prepared once for the whole run. What the
// component spends beyond this is its own cost.
//
//   BM_Floor/L   L = 1, 10, 100
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <soci/soci.h>

#include "bench/bench_company.h"
#include "data/session.h"

namespace {

using bench::BenchCompany;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "floor_bench: %s\n", what.c_str());
  std::exit(1);
}

// One prepared statement with its bound variables.
struct Prepared {
  explicit Prepared(soci::session& s) : st(s) {}
  soci::statement st;
};

class Floor {
 public:
  explicit Floor(const BenchCompany& company) : pg_(company.postgres()) {
    auto session = data::OpenSession(company.target());
    if (!session.ok()) Die(session.err().description);
    session_ = std::move(session).value();
    Prepare();
  }

  void Bill(int lines, int serial) {
    soci::session& s = session_->sql();
    s << (pg_ ? "BEGIN ISOLATION LEVEL SERIALIZABLE" : "BEGIN IMMEDIATE");
    // The caller's language, rights, settings, period and name; the order line.
    Run(user_, 2);
    Run(rights_);
    Run(config_);
    Run(period_);
    Run(user_name_);
    Run(order_line_);
    Run(id_mode_);
    // The number: the period's count and its highest number.
    Run(count_);
    Run(top_);
    char id[32];
    std::snprintf(id, sizeof id, "202612%06d", serial);
    bill_ = id;
    Run(insert_bill_);
    for (line_ = 1; line_ <= lines; ++line_) {
      line_text_ = std::to_string(line_);
      art_ = 1 + line_ % 10;
      Run(meas_);
      Run(insert_line_);
    }
    Run(user_);
    Run(use_log_);
    // Execution: the executor's language, rights, setting and period; the bill.
    Run(user_, 2);
    Run(rights_);
    Run(user_);
    Run(machine_time_);
    Run(period_);
    Run(header_);
    Run(stock_lines_);
    for (line_ = 1; line_ <= lines; ++line_) {
      art_ = 1 + line_ % 10;
      Run(balance_);
    }
    for (line_ = 1; line_ <= lines; ++line_) {
      line_text_ = std::to_string(line_);
      art_ = 1 + line_ % 10;
      Run(take_stock_);
      Run(stock_move_);
    }
    Run(stamp_);
    Run(order_started_);
    Run(bom_lines_);
    for (line_ = 1; line_ <= lines; ++line_) {
      art_ = 1 + line_ % 10;
      Run(bom_row_);
      Run(raise_bom_);
    }
    Run(user_);
    Run(use_log_);
    s << "COMMIT";
  }

 private:
  static void Run(const std::unique_ptr<Prepared>& p, int times = 1) {
    for (int i = 0; i < times; ++i) {
      p->st.execute(true);
      while (p->st.fetch()) {
      }
    }
  }

  void Use(soci::statement& st, const std::string& sql) {
    st.alloc();
    st.prepare(sql);
    st.define_and_bind();
  }

  // Binds a quantity of one piece the way the schema stores currency.
  void UseQty(soci::statement& st, const char* name) {
    if (pg_) {
      st.exchange(soci::use(qty_text_, name));
    } else {
      st.exchange(soci::use(qty_scaled_, name));
    }
  }

  void Prepare() {
    soci::session& s = session_->sql();
    auto make = [&](std::unique_ptr<Prepared>& p) { p = std::make_unique<Prepared>(s); };
    for (auto* p : {&user_,          &rights_,    &config_,       &period_,     &user_name_,
                    &order_line_,    &id_mode_,   &machine_time_, &count_,      &top_,
                    &insert_bill_,   &meas_,      &insert_line_,  &use_log_,    &header_,
                    &stock_lines_,   &balance_,   &take_stock_,   &stock_move_, &stamp_,
                    &order_started_, &bom_lines_, &bom_row_,      &raise_bom_}) {
      make(*p);
    }
    Bind(*user_, "SELECT UserName, InnerID, Lang FROM SM_User WHERE LoginName = :l",
         {&out1_, &out2_, &out3_},
         [&](soci::statement& st) { st.exchange(soci::use(login_, "l")); });
    Bind(*rights_, "SELECT RightCode FROM SM_UserRight WHERE LoginName = :l", {&out1_},
         [&](soci::statement& st) { st.exchange(soci::use(login_, "l")); });
    Bind(*config_, "SELECT ID, Value FROM SM_Config", {&out1_, &out2_}, nullptr);
    Bind(*period_, "SELECT Period FROM SM_Period WHERE Module = :m", {&out1_},
         [&](soci::statement& st) { st.exchange(soci::use(module_, "m")); });
    Bind(*user_name_, "SELECT UserName FROM SM_User WHERE LoginName = :l", {&out1_},
         [&](soci::statement& st) { st.exchange(soci::use(login_, "l")); });
    Bind(*order_line_,
         "SELECT MF_OrdDetail.DeptID FROM MF_OrdDetail INNER JOIN MF_Order ON MF_Order.BillID = "
         "MF_OrdDetail.BillID WHERE MF_OrdDetail.BillID = :b AND MF_OrdDetail.SortID = :s",
         {&out1_}, [&](soci::statement& st) {
           st.exchange(soci::use(order_, "b"));
           st.exchange(soci::use(order_line_text_, "s"));
         });
    Bind(*id_mode_, "Select Value From SM_Config Where ID = :id", {&out1_},
         [&](soci::statement& st) { st.exchange(soci::use(id_mode_key_, "id")); });
    Bind(*machine_time_, "Select Value From SM_Config Where ID = :id", {&out1_},
         [&](soci::statement& st) { st.exchange(soci::use(machine_time_key_, "id")); });
    Bind(*count_, "Select Used, Odd From MF_BillIDCount Where Prefix = :p", {&out1_, &out2_},
         [&](soci::statement& st) { st.exchange(soci::use(prefix_, "p")); });
    Bind(*top_,
         std::string("Select BillID From MF_OutBill Where BillID > :zero And BillID < :above And "
                     "BillID Like :prefix And ") +
             (pg_ ? "(BillID ~ '^[0-9]+$')" : "(BillID <> '' And BillID Not Glob '*[^0-9]*')") +
             " Order By BillID Desc LIMIT 1",
         {&out1_}, [&](soci::statement& st) {
           st.exchange(soci::use(zero_, "zero"));
           st.exchange(soci::use(above_, "above"));
           st.exchange(soci::use(like_, "prefix"));
         });
    Bind(*insert_bill_,
         "Insert Into MF_OutBill(BillID,Date,OrdBill,OrdSortID,OpCateID,DeptID,ProjID,ItemID,"
         "Notes,Operator,Maker) Values(:id, :date, :ord, :line, NULL, NULL, NULL, NULL, '', "
         ":op, :maker)",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(bill_, "id"));
           st.exchange(soci::use(date_, "date"));
           st.exchange(soci::use(order_, "ord"));
           st.exchange(soci::use(order_line_text_, "line"));
           st.exchange(soci::use(operator_, "op"));
           st.exchange(soci::use(login_, "maker"));
         });
    Bind(*meas_, "Select Num,Den From FD_ArtMeas Where ID = :id And MeasID = :meas",
         {&out1_, &out2_}, [&](soci::statement& st) {
           st.exchange(soci::use(art_, "id"));
           st.exchange(soci::use(pcs_, "meas"));
         });
    Bind(*insert_line_,
         "Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,ShelfID,SerialNo,ValidDate,Qty,"
         "StQty,Memo,OrdBomID) Values(:bill, :line, :art, :meas, :shelf, '', NULL, :qty, :stqty, "
         "'', 0)",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(bill_, "bill"));
           st.exchange(soci::use(line_text_, "line"));
           st.exchange(soci::use(art_, "art"));
           st.exchange(soci::use(pcs_, "meas"));
           st.exchange(soci::use(shelf_, "shelf"));
           UseQty(st, "qty");
           UseQty(st, "stqty");
         });
    Bind(*use_log_, "Insert Into SM_UseLog(UserName,Date,Component,LogDesc) Values(:u, :d, :c, :l)",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(login_, "u"));
           st.exchange(soci::use(now_, "d"));
           st.exchange(soci::use(component_, "c"));
           st.exchange(soci::use(bill_, "l"));
         });
    Bind(*header_, "Select Date, Execer, OrdBill, OrdSortID From MF_OutBill Where BillID = :id",
         {&out1_, &out2_, &out3_, &out4_},
         [&](soci::statement& st) { st.exchange(soci::use(bill_, "id")); });
    Bind(*stock_lines_,
         "SELECT SortID, ShelfID, ArtID, SerialNo, StQty FROM MF_OutDetail WHERE BillID = :b "
         "ORDER BY SortID",
         {&out1_, &out2_, &out3_, &out4_, &out5_},
         [&](soci::statement& st) { st.exchange(soci::use(bill_, "b")); });
    Bind(*balance_,
         "SELECT Qty FROM ST_ShelfBal WHERE ShelfID = :shelf AND ArtID = :art AND SerialNo = :s",
         {&out1_}, [&](soci::statement& st) {
           st.exchange(soci::use(shelf_, "shelf"));
           st.exchange(soci::use(art_, "art"));
           st.exchange(soci::use(empty_, "s"));
         });
    Bind(*take_stock_,
         "UPDATE ST_ShelfBal SET Qty = Qty + :delta WHERE ShelfID = :shelf AND ArtID = :art AND "
         "SerialNo = :s",
         {}, [&](soci::statement& st) {
           if (pg_) {
             st.exchange(soci::use(minus_text_, "delta"));
           } else {
             st.exchange(soci::use(minus_scaled_, "delta"));
           }
           st.exchange(soci::use(shelf_, "shelf"));
           st.exchange(soci::use(art_, "art"));
           st.exchange(soci::use(empty_, "s"));
         });
    Bind(*stock_move_,
         "INSERT INTO ST_StockMove (Module, BillID, SortID, ShelfID, ArtID, SerialNo, Qty, "
         "MoveDate, Direction, Recorded) VALUES (:module, :bill, :line, :shelf, :art, :serial, "
         ":qty, :date, :dir, :now)",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(module_, "module"));
           st.exchange(soci::use(bill_, "bill"));
           st.exchange(soci::use(line_text_, "line"));
           st.exchange(soci::use(shelf_, "shelf"));
           st.exchange(soci::use(art_, "art"));
           st.exchange(soci::use(empty_, "serial"));
           UseQty(st, "qty");
           st.exchange(soci::use(date_, "date"));
           st.exchange(soci::use(direction_, "dir"));
           st.exchange(soci::use(now_, "now"));
         });
    Bind(*stamp_,
         "Update MF_OutBill Set ExeDate = :exe, Execer = :user, Version = Version + 1000 Where "
         "BillID = :id",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(date_, "exe"));
           st.exchange(soci::use(login_, "user"));
           st.exchange(soci::use(bill_, "id"));
         });
    Bind(*order_started_,
         "Update MF_OrdDetail Set BegFlag = 1, FbegDate = :d Where BillID = :b And SortID = :s "
         "And BegFlag = 0",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(date_, "d"));
           st.exchange(soci::use(order_, "b"));
           st.exchange(soci::use(order_line_text_, "s"));
         });
    Bind(*bom_lines_,
         "Select MF_OutDetail.SortID, MF_OutDetail.ArtID, MF_OutDetail.StQty, "
         "MF_OutDetail.SerialNo, MF_OutDetail.OrdBomID, FD_Article.NonStandard From MF_OutDetail "
         "Inner Join FD_Article On MF_OutDetail.ArtID = FD_Article.ID Where MF_OutDetail.BillID = "
         ":b Order By MF_OutDetail.SortID",
         {&out1_, &out2_, &out3_, &out4_, &out5_, &out6_},
         [&](soci::statement& st) { st.exchange(soci::use(bill_, "b")); });
    Bind(*bom_row_,
         "Select ID, SerialNo From MF_OrdBom Where BillID = :b And SortID = :s And ArtID = :a "
         "Order By ID",
         {&bom_id_text_, &out2_}, [&](soci::statement& st) {
           st.exchange(soci::use(order_, "b"));
           st.exchange(soci::use(order_line_text_, "s"));
           st.exchange(soci::use(art_, "a"));
         });
    Bind(*raise_bom_, "Update MF_OrdBom Set OutQty = OutQty + :qty Where ID = :id", {},
         [&](soci::statement& st) {
           UseQty(st, "qty");
           st.exchange(soci::use(art_, "id"));
         });
  }

  template <typename F>
  void Bind(Prepared& p, const std::string& sql, std::initializer_list<std::string*> into,
            F&& uses) {
    for (std::string* out : into) {
      indicators_.push_back(std::make_unique<soci::indicator>());
      p.st.exchange(soci::into(*out, *indicators_.back()));
    }
    if constexpr (!std::is_same_v<std::decay_t<F>, std::nullptr_t>) uses(p.st);
    Use(p.st, sql);
  }

  bool pg_;
  std::unique_ptr<data::Session> session_;
  std::unique_ptr<Prepared> user_, rights_, config_, period_, user_name_, order_line_, id_mode_,
      machine_time_, count_, top_, insert_bill_, meas_, insert_line_, use_log_, header_,
      stock_lines_, balance_, take_stock_, stock_move_, stamp_, order_started_, bom_lines_,
      bom_row_, raise_bom_;
  std::vector<std::unique_ptr<soci::indicator>> indicators_;
  std::string out1_, out2_, out3_, out4_, out5_, out6_, bom_id_text_;
  std::string login_ = "amy", module_ = "MF", order_ = "MO1", order_line_text_ = "1";
  std::string id_mode_key_ = "IDMode", machine_time_key_ = "MachineTime";
  std::string prefix_ = "202612", zero_ = "202612000000", above_ = "202612:", like_ = "202612%";
  std::string bill_, date_ = "2026-12-06", operator_ = "Op", pcs_ = "pcs", shelf_ = "S1";
  std::string empty_, now_ = "2026-12-06 12:00:00", component_ = "bench";
  std::string qty_text_ = "1.0000", minus_text_ = "-1.0000", line_text_;
  long long qty_scaled_ = 10000, minus_scaled_ = -10000;
  int art_ = 1, line_ = 0, direction_ = -1;
};

void BM_Floor(benchmark::State& state) {
  static auto* company = [] {
    auto* c = new BenchCompany("floor");
    bench::SeedWriterCompany(*c);
    return c;
  }();
  static int serial = 0;
  Floor floor(*company);
  for (auto _ : state) {
    try {
      floor.Bill(static_cast<int>(state.range(0)), ++serial);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_Floor)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
