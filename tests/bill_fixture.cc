#include "tests/bill_fixture.h"

#include <cstdio>

#include "host/object_context.h"
#include "writer/bill_lines.h"

namespace testing_support {

base::DateTime D(const char* text) { return base::DateTime::Parse(text).value(); }
base::Currency C(const char* text) { return base::Currency::Parse(text).value(); }

base::Rowset Lines(const std::vector<LineSpec>& specs) {
  base::Rowset rs(writer::LineSetFields());
  for (const LineSpec& s : specs) {
    EXPECT_TRUE(rs.AddRow({base::Value(s.sort_id), base::Value(s.art), base::Value(s.meas),
                           base::Value(s.shelf), base::Value(s.serial),
                           s.valid.empty() ? base::Value() : base::Value(D(s.valid.c_str())),
                           base::Value(C(s.qty.c_str())), base::Value(s.memo), base::Value(s.bom)})
                    .ok());
  }
  return rs;
}

std::string Dump(const std::optional<base::Rowset>& rs) {
  if (!rs) return "<no rowset>";
  std::string out;
  for (const auto& f : rs->fields()) {
    out += (out.empty() ? "" : " ") + f.name + ":" + base::FieldTypeName(f.type);
  }
  for (size_t i = 0; i < rs->RecordCount(); ++i) {
    const auto& row = rs->Row(i);
    for (size_t c = 0; c < row.size(); ++c) {
      out += (c == 0 ? "\n" : "|") + (row[c].IsNull() ? "<null>" : row[c].TextOrEmpty());
    }
  }
  return out;
}

base::Rowset Plan(const std::vector<PlanRow>& rows) {
  using base::FieldType;
  const std::vector<base::Field> fields = {
      {"OrderID", FieldType::kText}, {"OrderSortID", FieldType::kText},
      {"DeptID", FieldType::kText},  {"SortID", FieldType::kText},
      {"ArtID", FieldType::kInt},    {"MeasID", FieldType::kText},
      {"ShelfID", FieldType::kText}, {"SerialNo", FieldType::kText},
      {"Qty", FieldType::kCurrency}, {"Memo", FieldType::kText},
      {"OrdBomID", FieldType::kInt}};
  base::Rowset rs(fields);
  auto text = [](const char* s) { return s == nullptr ? base::Value() : base::Value(s); };
  for (const PlanRow& r : rows) {
    EXPECT_TRUE(rs.AddRow({text(r.order), text(r.line), text(r.dept), text(r.sort_id),
                           base::Value(1), base::Value("box"), base::Value("S1"), base::Value(),
                           base::Value(C(r.qty)), base::Value(), base::Value(0)})
                    .ok());
  }
  return rs;
}

BillFixture::BillFixture() {
  boundary::RegisterComponentClasses(company_.classes());
  company_.AddUser("amy", "Amy", "", {"MF0301", "MF0302", "MF0303", "MF0304"});
  company_.AddUser("ned", "Ned", "", {"MF0301", "MF0302"});
  company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0')");
  company_.Exec(
      "INSERT INTO FD_Article (ID, ArtCode, Name, NonStandard) VALUES (1, 'A-001', 'Bolt', 0), "
      "(2, 'B-002', 'Motor', 1), (3, 'C-003', 'Nut', 0)");
  company_.Exec("INSERT INTO FD_ArtStore (ID, KeepDay) VALUES (1, 0), (2, 30), (3, 0)");
  company_.Exec(
      "INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (1, 'pcs', :one, :one), "
      "(1, 'box', :twelve, :one), (1, 'third', :one, :three), (2, 'pcs', :one, :one), "
      "(3, 'pcs', :one, :one)",
      {{"one", C("1")}, {"twelve", C("12")}, {"three", C("3")}});
  company_.Exec("INSERT INTO ST_Shelf (ID, Name) VALUES ('S1', 'Shelf one'), ('S2', 'Shelf two')");
  company_.Exec(
      "INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', 1, '', :a), "
      "('S1', 2, 'SN1', :b), ('S1', 2, 'SN2', :c), ('S1', 3, '', :d), ('S2', 1, '', :e)",
      {{"a", C("1000")}, {"b", C("10")}, {"c", C("10")}, {"d", C("50")}, {"e", C("5")}});
  company_.Exec(
      "INSERT INTO MF_Order (BillID, ShopID, DeptID) VALUES ('MO1', 'W1', 'D0'), "
      "('MO2', 'W2', NULL)");
  company_.Exec(
      "INSERT INTO MF_OrdDetail (BillID, SortID, DeptID) VALUES ('MO1', '1', 'D1'), "
      "('MO1', '2', NULL), ('MO2', '1', NULL)");
  // The BOM rows take their IDs in the order they are listed.
  company_.Exec(
      "INSERT INTO MF_OrdBom (BillID, SortID, ArtID, SerialNo, Qty) VALUES ('MO1', '1', 1, 'X', "
      "100), ('MO1', '1', 1, 'Y', 100), ('MO1', '1', 3, '', 100), ('MO1', '', 1, '', 100)");
  EXPECT_EQ(std::sscanf(company_.Rows("SELECT ID FROM MF_OrdBom ORDER BY ID", "i").c_str(),
                        "%d;%d;%d;%d", &bom_line1_a_, &bom_line1_b_, &bom_line1_art2_, &bom_whole_),
            4);
}

CallResult BillFixture::AddNew(const std::string& id, const std::vector<LineSpec>& lines,
                               bool auto_exe, const std::string& login, const std::string& date,
                               const std::string& ord_bill, const std::string& ord_line,
                               const std::string& memo) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    r.id = id;
    return w.AddNew(r.id, D(date.c_str()), "", ord_bill, ord_line, "", "", "Oscar", memo,
                    Lines(lines), auto_exe, company_.name(), r.err);
  });
}

CallResult BillFixture::ExecBill(const std::string& id, const std::string& date,
                                 const std::string& login) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    r.id = id;
    return w.ExecBill(id, D(date.c_str()), company_.name(), r.err);
  });
}

CallResult BillFixture::UnExecBill(const std::string& id, const std::string& login) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    r.id = id;
    return w.UnExecBill(id, company_.name(), r.err);
  });
}

CallResult BillFixture::Delete(const std::string& id, const std::string& login) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    r.id = id;
    return w.Delete(id, company_.name(), r.err);
  });
}

CallResult BillFixture::Edit(const std::string& old_id, const std::string& new_id,
                             const std::vector<LineSpec>& lines, const std::string& login,
                             const std::string& date, const std::string& memo,
                             const std::string& ord_line) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    r.id = new_id;
    return w.Edit(old_id, r.id, D(date.c_str()), "OC1", "MO1", ord_line, "", "ITEM", "Olga", memo,
                  Lines(lines), company_.name(), r.err);
  });
}

CallResult BillFixture::AddFromOutPlan(int32_t count, const base::Rowset& plan,
                                       const std::string& date, const std::string& login) {
  return Writer(login, [&](writer::MF_OutBillE& w, CallResult& r) {
    return w.AddFromOutPlan(D(date.c_str()), count, plan, company_.name(), r.err);
  });
}

void BillFixture::RunSteps(const std::vector<Step>& steps,
                           const std::function<std::string()>& state) {
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const std::string before = state();
    const CallResult r = step.call();
    if (r.ok) last_id_ = r.id;
    EXPECT_EQ(r.ok, step.err.empty());
    EXPECT_EQ(r.err, step.err);
    EXPECT_EQ(state(), step.rows.empty() ? before : step.rows);
  }
}

std::string BillFixture::QueryRows(
    const std::vector<std::pair<std::string, std::string>>& queries) {
  std::string out;
  for (size_t i = 0; i < queries.size(); ++i) {
    out += (i == 0 ? "" : "\n") + company_.Rows(queries[i].first, queries[i].second);
  }
  return out;
}

std::string BillFixture::Header(const std::string& id, const std::string& column) {
  base::Rowset rs = company_.Query("SELECT " + column + " FROM MF_OutBill WHERE BillID = :id",
                                   {{"v", base::FieldType::kText}}, {{"id", id}});
  if (rs.RecordCount() == 0) return "<none>";
  return rs.Row(0)[0].IsNull() ? "<null>" : rs.Row(0)[0].TextOrEmpty();
}

base::Currency BillFixture::Balance(const std::string& shelf, int32_t art,
                                    const std::string& serial) {
  base::Rowset rs = company_.Query(
      "SELECT Qty FROM ST_ShelfBal WHERE ShelfID = :s AND ArtID = :a AND SerialNo = :n",
      {{"Qty", base::FieldType::kCurrency}}, {{"s", shelf}, {"a", art}, {"n", serial}});
  return rs.RecordCount() == 0 ? C("-999999") : *rs.Row(0)[0].AsCurrency();
}

base::Currency BillFixture::BomOut(int32_t bom_id) {
  base::Rowset rs = company_.Query("SELECT OutQty FROM MF_OrdBom WHERE ID = :id",
                                   {{"OutQty", base::FieldType::kCurrency}}, {{"id", bom_id}});
  return rs.RecordCount() == 0 ? C("-999999") : *rs.Row(0)[0].AsCurrency();
}

}  // namespace testing_support
