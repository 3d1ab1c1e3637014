// What executing a bill and reversing it do to the production order it
// draws on: the start marks of its scope (every line of the order, or the
// one line the bill names) and the BOM rows its lines' quantities go to.
#ifndef PLEXAVO_WRITER_ORDER_SCOPE_H_
#define PLEXAVO_WRITER_ORDER_SCOPE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/currency.h"
#include "base/datetime.h"
#include "base/result.h"
#include "data/connection.h"
#include "host/effects.h"

namespace writer {

struct OrderScope {
  std::string ord_bill;
  std::string ord_sort_id;  // empty: every line of the order
};

// Marks the scope started on `exe_date`, keeping the start date of lines
// started before.
base::Result<int64_t> MarkStarted(data::Connection& cnn, const OrderScope& scope,
                                  const base::DateTime& exe_date);
// Clears the start marks of the scope.
base::Result<int64_t> ClearStarted(data::Connection& cnn, const OrderScope& scope);

struct BomRow {
  int32_t id = 0;
  int32_t art = 0;
  std::string serial;
};

// The BOM rows of the bill's order line, lowest ID first, in one statement.
base::Result<std::vector<BomRow>> ReadBomRows(data::Connection& cnn, const OrderScope& scope);

// The IDs of the rows a bill line of article `art` may draw against, in
// ascending order; with `serial` only the rows of that serial number.
std::vector<int32_t> BomCandidates(const std::vector<BomRow>& rows, int32_t art,
                                   const std::string* serial);

// Adds each quantity to the issued quantity of the BOM row of its ID, one
// of the scope's `rows`. With `effects` (a dry run) each row changed is
// written down, in ID order, with the quantity added.
base::Status AddIssued(data::Connection& cnn, const OrderScope& scope,
                       const std::vector<BomRow>& rows,
                       const std::map<int32_t, base::Currency>& by_id, host::Effects* effects);

}  // namespace writer

#endif  // PLEXAVO_WRITER_ORDER_SCOPE_H_
