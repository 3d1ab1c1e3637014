#include "boundary/dispatch.h"

#include <gtest/gtest.h>

#include "boundary/interfaces.h"

namespace boundary {
namespace {

TEST(InterfacesTest, TablesHoldEveryOperationInOrder) {
  const auto& reader = *ReaderInterface().operations;
  const auto& writer = *WriterInterface().operations;
  ASSERT_EQ(reader.size(), 30u);
  ASSERT_EQ(writer.size(), 6u);
  for (size_t i = 0; i < reader.size(); ++i) {
    EXPECT_EQ(reader[i].dispid, 0x60030000u + i) << reader[i].name;  // consecutive
  }
  const uint32_t writer_ids[] = {0x60030000, 0x60030002, 0x60030005,
                                 0x60030006, 0x60030007, 0x60030008};
  for (size_t i = 0; i < writer.size(); ++i) EXPECT_EQ(writer[i].dispid, writer_ids[i]);
  EXPECT_STREQ(OperationByDispId(ReaderInterface(), 0x6003001D)->name, "ShopRst");
  EXPECT_STREQ(OperationByDispId(WriterInterface(), 0x60030008)->name, "AddFromOutPlan");
  EXPECT_EQ(OperationByName(ReaderInterface(), "shoprst"),
            OperationByDispId(ReaderInterface(), 0x6003001D));
  EXPECT_EQ(OperationByName(WriterInterface(), "CanEdit"), nullptr);  // private to the writer
  EXPECT_EQ(DispIdText(0x6003001D), "6003001D");
  EXPECT_EQ(InterfaceByProgId("plexavo.mf_outbille"), &WriterInterface());
  EXPECT_EQ(InterfaceByProgId("Plexavo.Other"), nullptr);
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
  Args good = {Variant::Int(7), Variant::Text("db"), Variant::Text("")};
  EXPECT_TRUE(CheckArgs(op, good).ok());
  Args short_list = {Variant::Int(7), Variant::Text("db")};
  EXPECT_EQ(CheckArgs(op, short_list).err().number, kErrBadParamCount);
  Args wrong = {Variant::Text("7"), Variant::Text("db"), Variant::Text("")};
  EXPECT_EQ(CheckArgs(op, wrong).err().number, kErrTypeMismatch);
  Args null_int = {Variant{ParamType::kInt, base::Value(), {}}, Variant::Text("db"),
                   Variant::Text("")};
  EXPECT_EQ(CheckArgs(op, null_int).err().number, kErrTypeMismatch);
  Args null_text = {Variant::Int(7), Variant{ParamType::kText, base::Value(), {}},
                    Variant::Text("")};
  EXPECT_TRUE(CheckArgs(op, null_text).ok());  // a missing text is the empty text
}

}  // namespace
}  // namespace boundary
