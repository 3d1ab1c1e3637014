// JSON forms of the values that cross the component boundary, per
// parameter type:
//   text      "abc"
//   date      "2026-05-01" or "2026-05-01T13:45:00" (output: date only when
//             the value has no time of day)
//   int       a JSON integer within the 32-bit range
//   currency  output "12.3400" (always four decimals); input a string or a
//             JSON number with at most four decimals, read from its text
//   bool      true / false
//   rowset    {"fields": [{"name": N, "type": T}, ...], "rows": [[...], ...]}
//             with T one of "text", "date", "int", "currency", "bool" and
//             null for a NULL cell; null for "no rowset"
//
// Currency is never read through binary floating point: ParseJson keeps the
// source text of every number with a fraction or an exponent (see
// IsRawNumber), and FromJson reads currency from that text.
#ifndef PLEXAVO_SERVER_JSON_VALUES_H_
#define PLEXAVO_SERVER_JSON_VALUES_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/result.h"
#include "base/rowset.h"
#include "boundary/variant.h"

namespace server {

using Json = nlohmann::json;

// Parses JSON text without throwing. A number with a fraction or exponent
// is held as a binary node of subtype kRawNumberSubtype whose bytes are the
// number's source text; integers stay integers. Malformed text (including
// invalid UTF-8) is an error.
base::Result<Json> ParseJson(std::string_view text);

inline constexpr std::uint8_t kRawNumberSubtype = 0x4e;
bool IsRawNumber(const Json& j);

// "a string", "a number", "an object", ... for error texts.
std::string KindOf(const Json& j);

// Serialises without throwing; invalid UTF-8 in strings is replaced.
std::string Dump(const Json& j, int indent = -1);

// The JSON form of a value of its own type.
Json ToJson(const boundary::Variant& v);
Json RowsetToJson(const std::optional<base::Rowset>& rs);

// The same text as Dump(ToJson(v)), handed out piece by piece (a rowset row
// by row), so that a large answer is never built whole.
void WriteJson(const boundary::Variant& v, const std::function<void(std::string_view)>& out);

// The text of member `name` of the request body's "args" object, found by
// one pass over the text that builds nothing and stops at the member;
// nullopt when the body is no JSON object, or args holds no such text
// before the scan ends.
std::optional<std::string> FindArgText(std::string_view body, std::string_view name);

// The pieces of a rowset's JSON form, for an answer written as its rows are
// read: RowsetJsonHead, then AppendRowJson for each row (the first with
// `first`), then kRowsetJsonTail make the text of Dump(RowsetToJson(rs)).
std::string RowsetJsonHead(const std::vector<base::Field>& fields);
void AppendRowJson(const std::vector<base::Value>& row, bool first, std::string& out);
inline constexpr std::string_view kRowsetJsonTail = "]}";

// Reads argument `name` of type `type` from its JSON form. Errors name the
// argument and say what was expected.
base::Result<boundary::Variant> FromJson(const Json& j, boundary::ParamType type,
                                         const std::string& name);

}  // namespace server

#endif  // PLEXAVO_SERVER_JSON_VALUES_H_
