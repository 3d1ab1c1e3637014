// What a writer call did, written down where its writes happen, for a dry
// run: the call runs as usual in its transaction, which is then rolled
// back, and the caller is shown these instead.
#ifndef PLEXAVO_HOST_EFFECTS_H_
#define PLEXAVO_HOST_EFFECTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/currency.h"

namespace host {

struct Effects {
  // One movement of a stock balance.
  struct StockMove {
    std::string bill, line, shelf;
    int32_t art = 0;
    std::string serial;
    base::Currency qty;  // positive: into stock; negative: out of it
    base::Currency before, after;
  };
  // One BOM row raised, lowered or added.
  struct BomChange {
    std::string order, line;
    int32_t art = 0;
    std::string serial;
    int32_t bom_id = 0;  // 0 for a row added
    base::Currency qty;  // added to its issued quantity (negative: lowered)
    bool added = false;
  };
  // Order lines marked started or reset; line "" is every line of the order.
  struct OrderMark {
    std::string order, line;
    bool started = false;
  };
  // A line whose stock is short.
  struct Shortage {
    std::string bill, line, shelf;
    int32_t art = 0;
    std::string serial;
    base::Currency needed, available, shortfall;
  };

  std::vector<StockMove> stock;
  std::vector<BomChange> bom;
  std::vector<OrderMark> orders;
  std::vector<std::string> numbers;  // bill numbers taken
  std::vector<std::string> use_log;  // use-log lines written
  std::vector<Shortage> shortages;
};

}  // namespace host

#endif  // PLEXAVO_HOST_EFFECTS_H_
