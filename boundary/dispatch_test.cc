#include "boundary/dispatch.h"

#include <gtest/gtest.h>

#include <optional>

#include "boundary/interfaces.h"

namespace boundary {
namespace {

// The writer's ids and names are checked through the C ABI (inproc_test).
TEST(InterfacesTest, ReaderIdsAreConsecutiveAndInterfacesFoundByProgramId) {
  const auto& reader = *ReaderInterface().operations;
  for (size_t i = 0; i < reader.size(); ++i) {
    EXPECT_EQ(reader[i].dispid, 0x60030000u + i) << reader[i].name;
  }
  EXPECT_EQ(DispIdText(0x6003001D), "6003001D");
  EXPECT_EQ(InterfaceByProgId("plexavo.mf_outbille"), &WriterInterface());
  EXPECT_EQ(InterfaceByProgId("Plexavo.Other"), nullptr);
}

TEST(InterfacesTest, DispIdsAndParametersAreFoundByTheirText) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"6003001D", 0x6003001D},   {"6003001d", 0x6003001D}, {"1d", 0x1D},
      {"FFFFFFFF", 0xFFFFFFFF},   {"", std::nullopt},       {"123456789", std::nullopt},
      {"0x1D", std::nullopt},     {"-1", std::nullopt},     {"60 3", std::nullopt},
      {"6003001G", std::nullopt},
  };
  for (const auto& [text, dispid] : cases) EXPECT_EQ(ParseDispId(text), dispid) << text;
  const Operation& user_name = *OperationByName(ReaderInterface(), "UserName");
  const Param* db = ParamByName(user_name, "vstrDB");
  EXPECT_TRUE(db != nullptr && std::string_view(db->name) == "vstrDB");
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

}  // namespace
}  // namespace boundary
