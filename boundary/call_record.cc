#include "boundary/call_record.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <type_traits>
#include <variant>

#include "boundary/idempotency.h"

namespace boundary {
namespace {

using Json = nlohmann::json;

// A value as tagged text: "N" (NULL), "T" text, "D" date and time, "I"
// integer, "C" currency as its scaled count, "B0" / "B1".
std::string ValueText(const base::Value& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return "T" + v;
        } else if constexpr (std::is_same_v<T, base::DateTime>) {
          return "D" + v.FormatDateTime();
        } else if constexpr (std::is_same_v<T, int32_t>) {
          return "I" + std::to_string(v);
        } else if constexpr (std::is_same_v<T, base::Currency>) {
          return "C" + std::to_string(v.scaled());
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "B1" : "B0";
        } else {
          return "N";
        }
      },
      value.raw());
}

base::Err BadRecord() {
  return base::MakeErr(base::kErrInternal, "the kept answer cannot be read", "Plexavo.Boundary");
}

base::Result<base::Value> ValueOfText(const std::string& text, ParamType type) {
  if (text == "N") return base::Value();
  if (text.empty()) return BadRecord();
  const std::string body = text.substr(1);
  switch (text[0]) {
    case 'T':
      if (type == ParamType::kText) return base::Value(body);
      break;
    case 'D':
      if (type == ParamType::kDate) {
        auto date = base::DateTime::Parse(body);
        if (date.ok()) return base::Value(*date);
      }
      break;
    case 'I':
    case 'C': {
      char* end = nullptr;
      const long long n = std::strtoll(body.c_str(), &end, 10);
      if (body.empty() || *end != '\0') break;
      if (text[0] == 'I' && type == ParamType::kInt) return base::Value(static_cast<int32_t>(n));
      if (text[0] == 'C' && type == ParamType::kCurrency) {
        return base::Value(base::Currency::FromScaled(n));
      }
      break;
    }
    case 'B':
      if (type == ParamType::kBool && (body == "0" || body == "1")) return base::Value(body == "1");
      break;
  }
  return BadRecord();
}

// Each piece with its length in front, so that no two lists of pieces make
// the same text.
void Piece(std::string& out, const std::string& piece) {
  out += std::to_string(piece.size());
  out += ':';
  out += piece;
}

}  // namespace

std::string CallFingerprint(const Interface& itf, const Operation& op, const Args& args) {
  std::string text;
  Piece(text, itf.progid);
  Piece(text, op.name);
  for (size_t i = 0; i < args.size() && i < op.params.size(); ++i) {
    Piece(text, op.params[i].name);
    const Variant& v = args[i];
    if (v.type != ParamType::kRowset) {
      Piece(text, ValueText(v.value));
      continue;
    }
    if (!v.rowset) {
      Piece(text, "R-");
      continue;
    }
    Piece(text, "R" + std::to_string(v.rowset->fields().size()) + "x" +
                    std::to_string(v.rowset->RecordCount()));
    for (const base::Field& f : v.rowset->fields()) {
      Piece(text, f.name);
      Piece(text, base::FieldTypeName(f.type));
    }
    for (const auto& row : v.rowset->rows()) {
      for (const base::Value& cell : row) Piece(text, ValueText(cell));
    }
  }
  return RequestHash(text);
}

base::Result<std::string> AnswerRecord(const Operation& op, const Args& args,
                                       const Variant& result) {
  if (result.type == ParamType::kRowset) return BadRecord();
  Json byref = Json::object();
  for (size_t i = 0; i < op.params.size() && i < args.size(); ++i) {
    if (op.params[i].direction != Direction::kInOut) continue;
    if (args[i].type == ParamType::kRowset) return BadRecord();
    byref[op.params[i].name] = ValueText(args[i].value);
  }
  return Json{{"byref", std::move(byref)}, {"result", ValueText(result.value)}}.dump(
      -1, ' ', false, Json::error_handler_t::replace);
}

base::Status RestoreAnswer(const Operation& op, const std::string& record, Args& args,
                           Variant& result) {
  const Json kept = Json::parse(record, nullptr, false);
  if (!kept.is_object() || !kept.contains("byref") || !kept["byref"].is_object() ||
      !kept.contains("result") || !kept["result"].is_string()) {
    return BadRecord();
  }
  Args restored = args;
  for (size_t i = 0; i < op.params.size() && i < restored.size(); ++i) {
    if (op.params[i].direction != Direction::kInOut) continue;
    auto it = kept["byref"].find(op.params[i].name);
    if (it == kept["byref"].end() || !it->is_string()) return BadRecord();
    PLX_ASSIGN_OR_RETURN(base::Value v, ValueOfText(it->get<std::string>(), op.params[i].type));
    restored[i] = Variant{op.params[i].type, std::move(v), {}};
  }
  PLX_ASSIGN_OR_RETURN(base::Value r, ValueOfText(kept["result"].get<std::string>(), op.result));
  args = std::move(restored);
  result = Variant{op.result, std::move(r), {}};
  return base::OkStatus();
}

}  // namespace boundary
