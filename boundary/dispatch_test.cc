#include "boundary/dispatch.h"

#include <gtest/gtest.h>

#include <optional>

#include "boundary/interfaces.h"
#include "tests/bill_fixture.h"

namespace boundary {
namespace {

TEST(InterfacesTest, TablesHoldEveryOperationInOrder) {
  const auto& reader = *ReaderInterface().operations;
  const auto& writer = *WriterInterface().operations;
  for (size_t i = 0; i < reader.size(); ++i) {
    EXPECT_EQ(reader[i].dispid, 0x60030000u + i) << reader[i].name;  // consecutive
  }
  std::string writer_ids;
  for (const Operation& op : writer) writer_ids += op.name + (" " + DispIdText(op.dispid)) + " ";
  EXPECT_EQ(writer_ids,
            "AddNew 60030000 Edit 60030002 Delete 60030005 ExecBill 60030006 UnExecBill 60030007 "
            "AddFromOutPlan 60030008 ");
  EXPECT_STREQ(OperationByDispId(ReaderInterface(), 0x6003001D)->name, "ShopRst");
  EXPECT_STREQ(OperationByDispId(WriterInterface(), 0x60030008)->name, "AddFromOutPlan");
  EXPECT_EQ(OperationByName(ReaderInterface(), "shoprst"),
            OperationByDispId(ReaderInterface(), 0x6003001D));
  EXPECT_EQ(OperationByName(WriterInterface(), "CanEdit"), nullptr);  // private to the writer
  EXPECT_EQ(DispIdText(0x6003001D), "6003001D");
  EXPECT_EQ(InterfaceByProgId("plexavo.mf_outbille"), &WriterInterface());
  EXPECT_EQ(InterfaceByProgId("Plexavo.Other"), nullptr);
}

TEST(InterfacesTest, DispIdsAndParametersAreFoundByTheirText) {
  const struct {
    const char* text;
    std::optional<uint32_t> dispid;
  } cases[] = {
      {"6003001D", 0x6003001D},   {"6003001d", 0x6003001D}, {"1d", 0x1D},
      {"FFFFFFFF", 0xFFFFFFFF},   {"", std::nullopt},       {"123456789", std::nullopt},
      {"0x1D", std::nullopt},     {"-1", std::nullopt},     {"60 3", std::nullopt},
      {"6003001G", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseDispId(c.text), c.dispid);
  }
  const Operation& user_name = *OperationByName(ReaderInterface(), "UserName");
  ASSERT_NE(ParamByName(user_name, "vstrDB"), nullptr);
  EXPECT_STREQ(ParamByName(user_name, "vstrDB")->name, "vstrDB");
  EXPECT_EQ(ParamByName(user_name, "vstrdb"), nullptr);  // names are exact
  EXPECT_EQ(ParamByName(user_name, "vstrNope"), nullptr);
}

TEST(DispatchTest, EveryOperationIsBuiltAndBoundToItsOwnSignature) {
  base::Status verified = VerifyBindings();
  EXPECT_TRUE(verified.ok()) << (verified.ok() ? "" : verified.err().description);
  for (const Interface* itf : Interfaces()) {
    for (const Operation& op : *itf->operations) {
      EXPECT_TRUE(IsImplemented(*itf, op)) << itf->cls << "." << op.name;
    }
  }
}

TEST(DispatchTest, ArgumentsAreCheckedAgainstTheTable) {
  const Operation& op = *OperationByName(ReaderInterface(), "GetMeasID");
  const Variant null_int{ParamType::kInt, base::Value(), {}};
  const Variant null_text{ParamType::kText, base::Value(), {}};
  const std::pair<Args, int32_t> cases[] = {
      {{Variant::Int(7), Variant::Text("db"), Variant::Text("")}, 0},
      {{Variant::Int(7), Variant::Text("db")}, kErrBadParamCount},
      {{Variant::Text("7"), Variant::Text("db"), Variant::Text("")}, kErrTypeMismatch},
      {{null_int, Variant::Text("db"), Variant::Text("")}, kErrTypeMismatch},
      {{Variant::Int(7), null_text, Variant::Text("")}, 0},  // a missing text is the empty text
  };
  for (const auto& [args, number] : cases) {
    base::Status checked = CheckArgs(op, args);
    EXPECT_EQ(checked.ok() ? 0 : checked.err().number, number);
  }
}

// A reader on the seeded bill company, called through the dispatch layer.
class DispatchOverBillsTest : public testing_support::BillFixture {
 protected:
  DispatchOverBillsTest() {
    company_.Exec("UPDATE FD_Article SET MeasID = 'set', Serial = 1, ShelfID = 'S2' WHERE ID = 2");
    company_.Exec(
        "UPDATE MF_OrdDetail SET ArtID = 2, Qty = :q WHERE BillID = 'MO1' AND SortID = '1'",
        {{"q", testing_support::C("25.5")}});
    company_.Exec("UPDATE MF_OrdBom SET Qty = :q", {{"q", testing_support::C("100")}});
  }
  const std::string& db() const { return company_.name(); }
};

TEST_F(DispatchOverBillsTest, InOutValuesReachTheCallerThroughDispatch) {
  host::Instance obj =
      host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBill", "ned").value();
  const auto& itf = ReaderInterface();
  Args bom = {Variant::Text("MO1"),
              Variant::Text("1"),
              Variant::Text(""),
              Variant::Text(""),
              Variant::Cur(testing_support::C("0")),
              Variant::Text(db()),
              Variant::Text("")};
  auto rows = Invoke(*obj.As<host::Component>(), itf, *OperationByName(itf, "OrderBomRst"), bom);
  ASSERT_TRUE(rows.ok()) << rows.err().description;
  EXPECT_EQ(rows->rowset->RecordCount(), 3u);
  EXPECT_EQ(bom[2].value, base::Value("B-002"));
  EXPECT_EQ(bom[3].value, base::Value("Motor"));
  EXPECT_EQ(bom[4].value, base::Value(testing_support::C("25.5")));
  Args art = {Variant::Text("B-002"), Variant::Int(0),     Variant::Text(""),
              Variant::Text(""),      Variant::Int(0),     Variant::Int(0),
              Variant::Text(""),      Variant::Text(db()), Variant::Text("")};
  auto found = Invoke(*obj.As<host::Component>(), itf, *OperationByName(itf, "ArtExInfo"), art);
  ASSERT_TRUE(found.ok()) << found.err().description;
  EXPECT_EQ(found->value, base::Value(true));
  EXPECT_EQ(art[1].value, base::Value(int32_t{2}));
  EXPECT_EQ(art[3].value, base::Value("set"));
  EXPECT_EQ(art[5].value, base::Value(int32_t{30}));
  EXPECT_EQ(art[6].value, base::Value("S2"));
}

}  // namespace
}  // namespace boundary
