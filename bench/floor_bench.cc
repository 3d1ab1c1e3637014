// The floor under the writer: a bill of L lines created and executed with
// plain prepared statements doing the same reads and writes on the same
// schema as AddNew with vblnAutoExe does (caller's user, rights, settings
// and period; order line; number; header and lines with the unit
// conversion; use log; stock balances and movements; execution stamp,
// order line start; BOM issued quantities; use log), in one transaction on
// one session, each statement prepared once for the whole run. Like the
// component, it carries a set in one statement (the lines, their units'
// factors, the balances' locks, reads, changes and movements, the BOM rows)
// and, on PostgreSQL, runs at READ COMMITTED and takes the writers' locks
// (header row, number range, order, balances). What the component spends
// beyond this is its own cost.
//
//   BM_Floor/L   L = 1, 10, 100
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <soci/soci.h>

#include "bench/bench_company.h"
#include "data/locks.h"
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

// A statement carrying `rows` rows of a VALUES list between `head` and
// `tail`, each value bound to a buffer of its own. `kinds` gives a row's
// columns: 't' text, 'i' integer, 'q' a quantity as the schema stores it,
// 'n' NULL.
// With `typed` PostgreSQL is told each value's type (a list in FROM or IN).
class SetStatement {
 public:
  SetStatement(soci::session& s, bool pg, const std::string& head, const std::string& kinds,
               size_t rows, bool typed, const std::string& tail, size_t columns_out)
      : st_(s),
        pg_(pg),
        kinds_(kinds),
        texts_(rows * kinds.size()),
        ints_(rows * kinds.size()),
        outs_(columns_out),
        out_ind_(columns_out) {
    std::string sql = head + "VALUES ";
    for (size_t r = 0; r < rows; ++r) {
      sql += r == 0 ? "(" : ", (";
      for (size_t c = 0; c < kinds.size(); ++c) {
        const std::string name = "r" + std::to_string(r) + "c" + std::to_string(c);
        if (c > 0) sql += ", ";
        if (kinds[c] == 'n') {
          sql += "NULL";
          continue;
        }
        sql += typed && pg ? "CAST(:" + name + " AS " + PgType(kinds[c]) + ")" : ":" + name;
      }
      sql += ")";
    }
    sql += tail;
    for (size_t i = 0; i < columns_out; ++i) st_.exchange(soci::into(outs_[i], out_ind_[i]));
    for (size_t r = 0; r < rows; ++r) {
      for (size_t c = 0; c < kinds.size(); ++c) {
        const std::string name = "r" + std::to_string(r) + "c" + std::to_string(c);
        const size_t i = r * kinds.size() + c;
        if (kinds[c] == 'n') continue;
        if (IsInt(kinds[c])) {
          st_.exchange(soci::use(ints_[i], name));
        } else {
          st_.exchange(soci::use(texts_[i], name));
        }
      }
    }
    st_.alloc();
    st_.prepare(sql);
    st_.define_and_bind();
  }

  // Sets the value of one cell; a quantity is given in ten-thousandths.
  void Set(size_t row, size_t col, const std::string& text) {
    texts_[row * kinds_.size() + col] = text;
  }
  void Set(size_t row, size_t col, long long value) {
    const size_t i = row * kinds_.size() + col;
    if (kinds_[col] == 'q' && pg_) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%s%lld.%04lld", value < 0 ? "-" : "",
                    std::llabs(value) / 10000, std::llabs(value) % 10000);
      texts_[i] = buf;
    } else {
      ints_[i] = value;
    }
  }

  void Run() {
    st_.execute(true);
    while (st_.fetch()) {
    }
  }

 private:
  bool IsInt(char kind) const { return kind == 'i' || (kind == 'q' && !pg_); }
  static std::string PgType(char kind) {
    return kind == 'i' ? "INTEGER" : kind == 'q' ? "NUMERIC(19,4)" : "TEXT";
  }

  soci::statement st_;
  bool pg_;
  std::string kinds_;
  std::vector<std::string> texts_;
  std::vector<long long> ints_;
  std::vector<std::string> outs_;
  std::vector<soci::indicator> out_ind_;
};

class Floor {
 public:
  Floor(const BenchCompany& company, int lines)
      : pg_(company.postgres()), lines_(lines), keys_(std::min(lines, kArticles)) {
    auto session = data::OpenSession(company.target());
    if (!session.ok()) Die(session.err().description);
    session_ = std::move(session).value();
    Prepare();
    PrepareSets();
  }

  void Bill(int serial) {
    soci::session& s = session_->sql();
    s << (pg_ ? "BEGIN ISOLATION LEVEL READ COMMITTED" : "BEGIN IMMEDIATE");
    // The caller's language, rights, settings, period and name; the order line.
    Run(user_, 2);
    Run(rights_);
    Run(config_);
    Run(period_);
    Run(user_name_);
    Run(order_line_);
    Run(id_mode_);
    // The number: the period's range locked, its count and highest number.
    Lock(kNumberRangeRank);
    Run(count_);
    Run(top_);
    char id[32];
    std::snprintf(id, sizeof id, "202612%06d", serial);
    bill_ = id;
    Run(insert_bill_);
    factors_->Run();
    for (int line = 1; line <= lines_; ++line) {
      insert_lines_->Set(line - 1, 0, bill_);
      insert_lines_->Set(line - 1, 1, std::to_string(line));
    }
    insert_lines_->Run();
    Run(user_);
    Run(use_log_);
    // Execution: the executor's language, rights, setting and period; the
    // bill's header locked, the order locked.
    Run(user_, 2);
    Run(rights_);
    Run(user_);
    Run(machine_time_);
    Run(period_);
    Run(header_);
    Lock(kOrderRank);
    Run(stock_lines_);
    if (pg_) balance_locks_->Run();
    balances_->Run();
    take_stock_->Run();
    for (int line = 1; line <= lines_; ++line) {
      stock_moves_->Set(line - 1, 1, bill_);
      stock_moves_->Set(line - 1, 2, std::to_string(line));
    }
    stock_moves_->Run();
    Run(stamp_);
    Run(order_started_);
    Run(bom_lines_);
    Run(bom_rows_);
    raise_bom_->Run();
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

  void Prepare() {
    soci::session& s = session_->sql();
    auto make = [&](std::unique_ptr<Prepared>& p) { p = std::make_unique<Prepared>(s); };
    for (auto* p : {&user_, &rights_, &config_, &period_, &user_name_, &order_line_, &id_mode_,
                    &machine_time_, &count_, &top_, &insert_bill_, &use_log_, &header_,
                    &stock_lines_, &stamp_, &order_started_, &bom_lines_, &bom_rows_}) {
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
    Bind(*use_log_, "Insert Into SM_UseLog(UserName,Date,Component,LogDesc) Values(:u, :d, :c, :l)",
         {}, [&](soci::statement& st) {
           st.exchange(soci::use(login_, "u"));
           st.exchange(soci::use(now_, "d"));
           st.exchange(soci::use(component_, "c"));
           st.exchange(soci::use(bill_, "l"));
         });
    Bind(*header_,
         std::string("Select Date, Execer, OrdBill, OrdSortID From MF_OutBill Where BillID = :id") +
             (pg_ ? " FOR UPDATE" : ""),
         {&out1_, &out2_, &out3_, &out4_},
         [&](soci::statement& st) { st.exchange(soci::use(bill_, "id")); });
    Bind(*stock_lines_,
         "SELECT SortID, ShelfID, ArtID, SerialNo, StQty FROM MF_OutDetail WHERE BillID = :b "
         "ORDER BY SortID",
         {&out1_, &out2_, &out3_, &out4_, &out5_},
         [&](soci::statement& st) { st.exchange(soci::use(bill_, "b")); });
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
    Bind(*bom_rows_,
         "Select ID, ArtID, SerialNo From MF_OrdBom Where BillID = :b And SortID = :s Order By ID",
         {&out1_, &out2_, &out3_}, [&](soci::statement& st) {
           st.exchange(soci::use(order_, "b"));
           st.exchange(soci::use(order_line_text_, "s"));
         });
    // SQLite writers of a database go one at a time (BEGIN IMMEDIATE): no
    // named locks there.
    if (!pg_) return;
    make(lock_);
    Bind(*lock_, "SELECT 1 FROM (SELECT pg_advisory_xact_lock(:s, :k)) AS held", {&out1_},
         [&](soci::statement& st) {
           st.exchange(soci::use(lock_space_, "s"));
           st.exchange(soci::use(lock_key_, "k"));
         });
  }

  // The statements that carry the bill's set: its L lines, or the distinct
  // articles they draw on (each article a unit, a balance and a BOM row).
  void PrepareSets() {
    soci::session& s = session_->sql();
    const size_t lines = static_cast<size_t>(lines_);
    const size_t keys = static_cast<size_t>(keys_);
    factors_ = std::make_unique<SetStatement>(
        s, pg_, "Select ID,MeasID,Num,Den From FD_ArtMeas Where (ID, MeasID) In (", "it", keys,
        true, ")", 4);
    insert_lines_ = std::make_unique<SetStatement>(
        s, pg_,
        "Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,ShelfID,SerialNo,ValidDate,Qty,"
        "StQty,Memo,OrdBomID) ",
        "ttitttnqqti", lines, false, "", 0);
    if (pg_) {
      balance_locks_ = std::make_unique<SetStatement>(
          s, pg_, "SELECT COUNT(pg_advisory_xact_lock(v.column1, v.column2)) FROM (", "ii", keys,
          true, ") AS v", 1);
    }
    balances_ = std::make_unique<SetStatement>(
        s, pg_,
        "SELECT ShelfID, ArtID, SerialNo, Qty FROM ST_ShelfBal WHERE (ShelfID, ArtID, SerialNo) IN "
        "(",
        "tit", keys, true, ")", 4);
    take_stock_ = std::make_unique<SetStatement>(
        s, pg_, "UPDATE ST_ShelfBal SET Qty = Qty + v.column4 FROM (", "titq", keys, true,
        ") AS v WHERE ST_ShelfBal.ShelfID = v.column1 AND ST_ShelfBal.ArtID = v.column2 AND "
        "ST_ShelfBal.SerialNo = v.column3",
        0);
    stock_moves_ = std::make_unique<SetStatement>(
        s, pg_,
        "INSERT INTO ST_StockMove (Module, BillID, SortID, ShelfID, ArtID, SerialNo, Qty, "
        "MoveDate, Direction, Recorded) ",
        "ttttitqtit", lines, false, "", 0);
    raise_bom_ = std::make_unique<SetStatement>(
        s, pg_, "Update MF_OrdBom Set OutQty = OutQty + v.column2 From (", "iq", keys, true,
        ") AS v Where MF_OrdBom.ID = v.column1", 0);
    std::vector<data::LockName> names;
    for (size_t k = 0; k < keys; ++k) {
      const int art = ArticleOf(static_cast<int>(k) + 1);
      factors_->Set(k, 0, art);
      factors_->Set(k, 1, pcs_);
      balances_->Set(k, 0, shelf_);
      balances_->Set(k, 1, art);
      balances_->Set(k, 2, empty_);
      take_stock_->Set(k, 0, shelf_);
      take_stock_->Set(k, 1, art);
      take_stock_->Set(k, 2, empty_);
      take_stock_->Set(k, 3, -10000LL * LinesOf(art));
      raise_bom_->Set(k, 0, art);  // the BOM row of each article has its ID
      raise_bom_->Set(k, 1, 10000LL * LinesOf(art));
      names.push_back(data::StockBalanceLock(shelf_, art, empty_));
    }
    std::sort(names.begin(), names.end());
    for (size_t k = 0; k < keys && balance_locks_; ++k) {
      balance_locks_->Set(k, 0, static_cast<long long>(names[k].rank));
      balance_locks_->Set(k, 1, names[k].key);
    }
    for (size_t l = 0; l < lines; ++l) {
      const int art = ArticleOf(static_cast<int>(l) + 1);
      const std::vector<std::string> line_texts = {"",     "", "", pcs_, shelf_,
                                                   empty_, "", "", "",   empty_};
      for (size_t c : {3, 4, 5, 9}) insert_lines_->Set(l, c, line_texts[c]);
      insert_lines_->Set(l, 2, art);
      insert_lines_->Set(l, 7, 10000LL);
      insert_lines_->Set(l, 8, 10000LL);
      insert_lines_->Set(l, 10, 0LL);
      stock_moves_->Set(l, 0, module_);
      stock_moves_->Set(l, 3, shelf_);
      stock_moves_->Set(l, 4, art);
      stock_moves_->Set(l, 5, empty_);
      stock_moves_->Set(l, 6, 10000LL);
      stock_moves_->Set(l, 7, date_);
      stock_moves_->Set(l, 8, -1LL);
      stock_moves_->Set(l, 9, now_);
    }
  }

  // The lines' articles: line l draws on article 1 + l % 10.
  static int ArticleOf(int line) { return 1 + line % kArticles; }
  int LinesOf(int art) const {
    int n = 0;
    for (int line = 1; line <= lines_; ++line) n += ArticleOf(line) == art ? 1 : 0;
    return n;
  }

  // Takes the writer's named lock of one rank (PostgreSQL only).
  void Lock(int rank) {
    if (!pg_) return;
    const data::LockName name = rank == kNumberRangeRank
                                    ? data::NumberRangeLock("MF_OutBill", prefix_)
                                    : data::OrderLock(order_);
    lock_space_ = static_cast<int>(name.rank);
    lock_key_ = name.key;
    Run(lock_);
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

  static constexpr int kArticles = 10;
  static constexpr int kNumberRangeRank = 0;
  static constexpr int kOrderRank = 1;

  bool pg_;
  int lines_;
  int keys_;
  std::unique_ptr<data::Session> session_;
  std::unique_ptr<Prepared> user_, rights_, config_, period_, user_name_, order_line_, id_mode_,
      machine_time_, count_, top_, insert_bill_, use_log_, header_, stock_lines_, stamp_,
      order_started_, bom_lines_, bom_rows_, lock_;
  std::unique_ptr<SetStatement> factors_, insert_lines_, balance_locks_, balances_, take_stock_,
      stock_moves_, raise_bom_;
  std::vector<std::unique_ptr<soci::indicator>> indicators_;
  std::string out1_, out2_, out3_, out4_, out5_, out6_, bom_id_text_;
  std::string login_ = "amy", module_ = "MF", order_ = "MO1", order_line_text_ = "1";
  std::string id_mode_key_ = "IDMode", machine_time_key_ = "MachineTime";
  std::string prefix_ = "202612", zero_ = "202612000000", above_ = "202612:", like_ = "202612%";
  std::string bill_, date_ = "2026-12-06", operator_ = "Op", pcs_ = "pcs", shelf_ = "S1";
  std::string empty_, now_ = "2026-12-06 12:00:00", component_ = "bench";
  int lock_space_ = 0, lock_key_ = 0;
};

void BM_Floor(benchmark::State& state) {
  static auto* company = [] {
    auto* c = new BenchCompany("floor");
    bench::SeedWriterCompany(*c);
    return c;
  }();
  static int serial = 0;
  Floor floor(*company, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    try {
      floor.Bill(++serial);
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
