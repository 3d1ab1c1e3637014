#include "data/stats.h"

namespace data {

DbCounters& Counters() {
  static DbCounters* counters = new DbCounters();  // lives as long as the process
  return *counters;
}

}  // namespace data
