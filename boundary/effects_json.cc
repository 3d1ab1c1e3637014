#include "boundary/effects_json.h"

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace boundary {
namespace {

// A JSON string; bytes that are no UTF-8 become U+FFFD.
std::string Quote(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The members of a JSON object in order, each value already JSON.
// Quantities go in as their exact decimal text, never through a binary
// floating-point number.
using Members = std::vector<std::pair<const char*, std::string>>;

Members operator+(Members a, const Members& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Object(const Members& members) {
  std::string out;
  for (const auto& [name, json] : members) {
    out += (out.empty() ? "{\"" : ",\"") + std::string(name) + "\":" + json;
  }
  return out.empty() ? "{}" : out + "}";
}
std::string Int(int32_t value) { return std::to_string(value); }
std::string Qty(const base::Currency& value) { return value.ToPlainString(); }
std::string Bool(bool value) { return value ? "true" : "false"; }

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F&& one) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + one(items[i]);
  return out + "]";
}

// Where stock moves or runs short: the bill line, the shelf, the article
// and its serial number.
template <typename T>
Members Place(const T& at) {
  return {{"bill", Quote(at.bill)},
          {"line", Quote(at.line)},
          {"shelf", Quote(at.shelf)},
          {"article", Int(at.art)},
          {"serial", Quote(at.serial)}};
}

std::string StockJson(const host::Effects::StockMove& m) {
  return Object(Place(m) + Members{{"quantity", Qty(m.qty)},
                                   {"before", Qty(m.before)},
                                   {"after", Qty(m.after)}});
}

std::string BomJson(const host::Effects::BomChange& b) {
  return Object({{"order", Quote(b.order)},
                 {"line", Quote(b.line)},
                 {"article", Int(b.art)},
                 {"serial", Quote(b.serial)},
                 {"bomId", b.added ? "null" : Int(b.bom_id)},
                 {"quantity", Qty(b.qty)},
                 {"added", Bool(b.added)}});
}

std::string OrderLineJson(const host::Effects::OrderMark& o) {
  return Object({{"order", Quote(o.order)},
                 {"line", Quote(o.line)},
                 {"mark", Quote(o.started ? "started" : "reset")}});
}

std::string ShortageJson(const host::Effects::Shortage& s) {
  return Object(Members{{"kind", Quote("short")}} + Place(s) +
                Members{{"needed", Qty(s.needed)},
                        {"available", Qty(s.available)},
                        {"shortfall", Qty(s.shortfall)}});
}

}  // namespace

std::string EffectsJson(const host::Effects& e) {
  auto number = [](const std::string& n) {
    return Object({{"number", Quote(n)}, {"reserved", Bool(false)}});
  };
  return Object({{"stock", Array(e.stock, StockJson)},
                 {"bom", Array(e.bom, BomJson)},
                 {"orderLines", Array(e.orders, OrderLineJson)},
                 {"billNumbers", Array(e.numbers, number)},
                 {"useLog", Array(e.use_log, Quote)}});
}

std::string ProblemsJson(const host::Effects& e) { return Array(e.shortages, ShortageJson); }

}  // namespace boundary
