#include "boundary/effects_json.h"

#include <nlohmann/json.hpp>

namespace boundary {
namespace {

// A JSON string; bytes that are no UTF-8 become U+FFFD.
std::string Quote(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Builds one JSON object member by member; quantities go in as their exact
// decimal text, never through a binary floating-point number.
class Object {
 public:
  Object& Text(const char* name, const std::string& value) { return Raw(name, Quote(value)); }
  Object& Int(const char* name, int32_t value) { return Raw(name, std::to_string(value)); }
  Object& Qty(const char* name, const base::Currency& value) {
    return Raw(name, value.ToPlainString());
  }
  Object& Bool(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
  Object& Raw(const char* name, const std::string& json) {
    out_ += (out_.empty() ? "{\"" : ",\"") + std::string(name) + "\":" + json;
    return *this;
  }
  std::string Done() const { return out_.empty() ? "{}" : out_ + "}"; }

 private:
  std::string out_;
};

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F&& one) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + one(items[i]);
  return out + "]";
}

}  // namespace

std::string EffectsJson(const host::Effects& e) {
  using E = host::Effects;
  return Object()
      .Raw("stock", Array(e.stock,
                          [](const E::StockMove& m) {
                            return Object()
                                .Text("bill", m.bill)
                                .Text("line", m.line)
                                .Text("shelf", m.shelf)
                                .Int("article", m.art)
                                .Text("serial", m.serial)
                                .Qty("quantity", m.qty)
                                .Qty("before", m.before)
                                .Qty("after", m.after)
                                .Done();
                          }))
      .Raw("bom", Array(e.bom,
                        [](const E::BomChange& b) {
                          return Object()
                              .Text("order", b.order)
                              .Text("line", b.line)
                              .Int("article", b.art)
                              .Text("serial", b.serial)
                              .Raw("bomId", b.added ? "null" : std::to_string(b.bom_id))
                              .Qty("quantity", b.qty)
                              .Bool("added", b.added)
                              .Done();
                        }))
      .Raw("orderLines", Array(e.orders,
                               [](const E::OrderMark& o) {
                                 return Object()
                                     .Text("order", o.order)
                                     .Text("line", o.line)
                                     .Text("mark", o.started ? "started" : "reset")
                                     .Done();
                               }))
      .Raw("billNumbers", Array(e.numbers,
                                [](const std::string& n) {
                                  return Object().Text("number", n).Bool("reserved", false).Done();
                                }))
      .Raw("useLog", Array(e.use_log, [](const std::string& t) { return Quote(t); }))
      .Done();
}

std::string ProblemsJson(const host::Effects& e) {
  return Array(e.shortages, [](const host::Effects::Shortage& s) {
    return Object()
        .Text("kind", "short")
        .Text("bill", s.bill)
        .Text("line", s.line)
        .Text("shelf", s.shelf)
        .Int("article", s.art)
        .Text("serial", s.serial)
        .Qty("needed", s.needed)
        .Qty("available", s.available)
        .Qty("shortfall", s.shortfall)
        .Done();
  });
}

}  // namespace boundary
