// Decoding of call arguments from JSON, rowsets included: never crashes,
// and every rowset it accepts comes back the same through its JSON form.
// The scan that picks the database name out of a body never crashes either.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/json_values.h"

namespace {

using boundary::ParamType;

constexpr ParamType kTypes[] = {ParamType::kText,     ParamType::kDate, ParamType::kInt,
                                ParamType::kCurrency, ParamType::kBool, ParamType::kRowset};

void RoundTrip(const boundary::Variant& v, ParamType type) {
  std::string text;
  server::WriteJson(v, [&text](std::string_view piece) { text.append(piece); });
  if (text != server::Dump(server::ToJson(v))) std::abort();
  auto again = server::ParseJson(text);
  if (!again.ok()) std::abort();
  auto decoded = server::FromJson(*again, type, "x");
  if (!decoded.ok()) std::abort();
  if (server::Dump(server::ToJson(*decoded)) != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)server::FindArgText(text, "vstrDB");
  auto parsed = server::ParseJson(text);
  if (!parsed.ok()) return 0;
  for (ParamType type : kTypes) {
    auto v = server::FromJson(*parsed, type, "x");
    if (v.ok()) RoundTrip(*v, type);
  }
  return 0;
}
