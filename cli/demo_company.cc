#include "cli/demo_company.h"

#include <vector>

#include "cli/company_admin.h"
#include "data/connection.h"

namespace cli {
namespace {

using base::Currency;
using base::Value;

Currency Cur(const char* text) { return Currency::Parse(text).value(); }

// Runs each statement with its values; stops at the first failure.
class Seeder {
 public:
  explicit Seeder(data::Connection& cnn) : cnn_(cnn) {}

  Seeder& Row(const char* sql, std::vector<std::pair<const char*, Value>> binds) {
    if (!status_.ok()) return *this;
    data::Sql statement(sql);
    for (auto& [name, value] : binds) statement.Bind(name, std::move(value));
    auto done = cnn_.Execute(statement);
    if (!done.ok()) status_ = done.err();
    return *this;
  }
  const base::Status& status() const { return status_; }

 private:
  data::Connection& cnn_;
  base::Status status_;
};

void SeedMasterData(Seeder& s) {
  // Articles: code, name, stock unit, serial setting, non-standard, default shelf.
  struct Article {
    int id;
    const char* code;
    const char* name;
    const char* unit;
    int serial;
    int non_standard;
    const char* shelf;
    int keep_days;
  };
  const Article articles[] = {
      {1001, "BLT-M6", "六角螺栓 M6×20", "pcs", 0, 0, "A-01", 0},
      {1002, "NUT-M6", "六角螺母 M6", "pcs", 0, 0, "A-01", 0},
      {1003, "STL-Q235", "冷轧钢板 Q235 2mm", "kg", 0, 0, "B-01", 0},
      {1004, "MTR-Y90", "三相异步电机 Y90L-4", "set", 1, 1, "C-01", 0},
      {1005, "BRG-6204", "深沟球轴承 6204", "pcs", 0, 0, "A-02", 0},
      {1006, "PNT-GRY", "灰色防锈漆", "kg", 0, 0, "B-02", 365},
  };
  for (const Article& a : articles) {
    s.Row(
        "INSERT INTO FD_Article (ID, ArtCode, Name, Serial, NonStandard, MeasID, ShelfID) "
        "VALUES (:id, :code, :name, :serial, :ns, :unit, :shelf)",
        {{"id", a.id},
         {"code", a.code},
         {"name", a.name},
         {"serial", a.serial},
         {"ns", a.non_standard},
         {"unit", a.unit},
         {"shelf", a.shelf}});
    s.Row("INSERT INTO FD_ArtStore (ID, KeepDay) VALUES (:id, :days)",
          {{"id", a.id}, {"days", a.keep_days}});
    s.Row("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (:id, :unit, :one, :one)",
          {{"id", a.id}, {"unit", a.unit}, {"one", Cur("1")}});
  }
  // Further units: a box of 100 bolts or nuts, a sheet of 15.7 kg, a pail of 18 kg.
  struct Unit {
    int id;
    const char* unit;
    const char* num;
    const char* den;
  };
  const Unit units[] = {{1001, "box", "100", "1"},
                        {1002, "box", "100", "1"},
                        {1003, "sheet", "15.7", "1"},
                        {1006, "pail", "18", "1"},
                        {1001, "g", "1", "1000"}};
  for (const Unit& u : units) {
    s.Row("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (:id, :unit, :num, :den)",
          {{"id", u.id}, {"unit", u.unit}, {"num", Cur(u.num)}, {"den", Cur(u.den)}});
  }
  // Depots and their shelves.
  s.Row(
      "INSERT INTO ST_Depot (ID, Name) VALUES ('WH-A', '标准件库'), ('WH-B', '原材料库'), "
      "('WH-C', '机电库')",
      {});
  struct Shelf {
    const char* id;
    const char* name;
    const char* depot;
  };
  const Shelf shelves[] = {{"A-01", "标准件库 A 区 01 架", "WH-A"},
                           {"A-02", "标准件库 A 区 02 架", "WH-A"},
                           {"B-01", "原材料库 B 区 01 架", "WH-B"},
                           {"B-02", "原材料库 B 区 02 架", "WH-B"},
                           {"C-01", "机电库 C 区 01 架", "WH-C"}};
  for (const Shelf& sh : shelves) {
    s.Row("INSERT INTO ST_Shelf (ID, Name, DepotID) VALUES (:id, :name, :depot)",
          {{"id", sh.id}, {"name", sh.name}, {"depot", sh.depot}});
  }
  struct Balance {
    const char* shelf;
    int art;
    const char* serial;
    const char* qty;
  };
  const Balance balances[] = {
      {"A-01", 1001, "", "12000"},        {"A-01", 1002, "", "15000"},
      {"A-02", 1005, "", "800"},          {"B-01", 1003, "", "4710"},
      {"B-02", 1006, "", "540"},          {"C-01", 1004, "SN2026-0001", "1"},
      {"C-01", 1004, "SN2026-0002", "1"}, {"C-01", 1004, "SN2026-0003", "1"}};
  for (const Balance& b : balances) {
    s.Row("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES (:s, :a, :n, :q)",
          {{"s", b.shelf}, {"a", b.art}, {"n", b.serial}, {"q", Cur(b.qty)}});
  }
  // Look-up tables.
  const std::pair<const char*, const char*> op_cates[] = {
      {"OC01", "正常领料"}, {"OC02", "超额补料"}, {"OC03", "返工领料"}};
  for (const auto& [id, name] : op_cates) {
    s.Row("INSERT INTO FD_OpCate (ID, Name) VALUES (:id, :name)", {{"id", id}, {"name", name}});
  }
  s.Row("INSERT INTO FD_Shop (ID, Name) VALUES ('W01', '装配车间'), ('W02', '机加车间')", {});
  s.Row(
      "INSERT INTO FD_Operator (ID, Name, DeptID) VALUES ('E001', '张伟', 'D11'), "
      "('E002', '刘洋', 'D12'), ('E003', '陈静', 'D20')",
      {});
  s.Row(
      "INSERT INTO FD_Project (ID, Name) VALUES ('PRJ-01', '输送线改造项目'), "
      "('PRJ-02', '新产品试制')",
      {});
  s.Row(
      "INSERT INTO FD_Item (ID, Name) VALUES ('CI-01', '直接材料'), ('CI-02', '辅助材料'), "
      "('CI-03', '维修耗材')",
      {});
}

void SeedOrders(Seeder& s, const std::string& period) {
  const std::string day = period.substr(0, 4) + "-" + period.substr(4, 2) + "-01";
  // Two workshops, three production orders.
  s.Row(
      "INSERT INTO MF_Order (BillID, Date, ShopID, DeptID) VALUES "
      "('MO-001', :d, 'W01', 'D10'), ('MO-002', :d, 'W01', 'D10'), ('MO-003', :d, 'W02', 'D20')",
      {{"d", day}});
  s.Row(
      "INSERT INTO MF_OrdDetail (BillID, SortID, ArtID, Qty, DeptID) VALUES "
      "('MO-001', '1', 1004, :ten, 'D11'), ('MO-001', '2', 1004, :five, 'D12'), "
      "('MO-002', '1', 1003, :ten, 'D11'), ('MO-003', '1', 1005, :ten, NULL)",
      {{"ten", Cur("10")}, {"five", Cur("5")}});
  // The bill of materials of order MO-001 line 1 and of MO-003 as a whole.
  struct Bom {
    const char* order;
    const char* line;
    int art;
    const char* serial;
    const char* qty;
  };
  const Bom boms[] = {{"MO-001", "1", 1001, "", "80"},  {"MO-001", "1", 1002, "", "80"},
                      {"MO-001", "1", 1003, "", "157"}, {"MO-001", "1", 1004, "SN2026-0001", "1"},
                      {"MO-001", "2", 1001, "", "40"},  {"MO-002", "1", 1003, "", "314"},
                      {"MO-003", "", 1005, "", "20"},   {"MO-003", "", 1006, "", "36"}};
  for (const Bom& b : boms) {
    s.Row(
        "INSERT INTO MF_OrdBom (BillID, SortID, ArtID, SerialNo, UseDate, Qty, NetQty) "
        "VALUES (:o, :l, :a, :n, :d, :q, :q)",
        {{"o", b.order},
         {"l", b.line},
         {"a", b.art},
         {"n", b.serial},
         {"d", day},
         {"q", Cur(b.qty)}});
  }
}

}  // namespace

base::Result<DemoUsers> SeedDemoCompany(const data::Target& target, const std::string& period) {
  PLX_RETURN_IF_ERROR(CheckPeriod(period));
  data::Enlistment tx;
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, &tx));
  Seeder s(cnn);
  s.Row(
      "INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0'), ('IDMode', '0'), "
      "('AutoExe', '0')",
      {});
  s.Row("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
  SeedMasterData(s);
  SeedOrders(s, period);
  struct User {
    const char* login;
    const char* name;
    int inner_id;
    std::vector<const char*> rights;
  };
  const User users[] = {
      {"admin", "系统管理员", 1, {"MF0301", "MF0302", "MF0303", "MF0304", "SP0602", "SP0606"}},
      {"wang", "王芳", 2, {"MF0301", "MF0302"}},
      {"li", "李强", 3, {"MF0301", "MF0303", "MF0304"}},
  };
  for (const User& u : users) {
    s.Row("INSERT INTO SM_User (LoginName, UserName, InnerID, Lang) VALUES (:l, :n, :i, '')",
          {{"l", u.login}, {"n", u.name}, {"i", u.inner_id}});
    for (const char* code : u.rights) {
      s.Row("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES (:l, :c)",
            {{"l", u.login}, {"c", code}});
    }
  }
  // Stock-out (2) and stock-in (1) rights per depot.
  s.Row(
      "INSERT INTO ST_DepotRight (LoginName, DepotID, Direction) VALUES "
      "('admin', 'WH-A', 2), ('admin', 'WH-B', 2), ('admin', 'WH-C', 2), "
      "('admin', 'WH-A', 1), ('li', 'WH-A', 2), ('li', 'WH-B', 2)",
      {});
  PLX_RETURN_IF_ERROR(s.status());
  DemoUsers tokens;
  PLX_ASSIGN_OR_RETURN(tokens.admin_token, InsertToken(cnn, "admin"));
  PLX_ASSIGN_OR_RETURN(tokens.clerk_token, InsertToken(cnn, "wang"));
  PLX_ASSIGN_OR_RETURN(tokens.keeper_token, InsertToken(cnn, "li"));
  cnn.Close();
  PLX_RETURN_IF_ERROR(tx.Commit());
  return tokens;
}

}  // namespace cli
