// Which BOM row a bill line's quantity goes to, on execution and reversal.
#ifndef PLEXAVO_WRITER_BOM_TARGET_H_
#define PLEXAVO_WRITER_BOM_TARGET_H_

#include <cstdint>
#include <vector>

namespace writer {

// The candidate the line names (its OrdBomID) when it is among them;
// otherwise the first, the lowest ID. `candidates` is not empty and in
// ascending ID order.
inline int32_t ChooseBomTarget(const std::vector<int32_t>& candidates, int32_t ord_bom_id) {
  for (int32_t id : candidates) {
    if (ord_bom_id != 0 && id == ord_bom_id) return id;
  }
  return candidates.front();
}

}  // namespace writer

#endif  // PLEXAVO_WRITER_BOM_TARGET_H_
