// GetBillID: new bill numbers for a document table, one or a batch.
//
// A number is 12 characters: a date prefix and a zero-padded counter. Daily
// numbering (setting IDMode missing or 0): prefix yyyymmdd, 4-digit counter.
// Monthly numbering (any other IDMode): prefix yyyymm, 6-digit counter.
// Gaps left by deleted bills are handed out before the highest number in
// use is passed. Numbers are not reserved: they become taken when the
// caller inserts its bills in the same transaction.
#ifndef PLEXAVO_FRAME_BILL_ID_H_
#define PLEXAVO_FRAME_BILL_ID_H_

#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/result.h"
#include "host/object_context.h"

namespace frame::share_bus {

// One number in vstrBillID for vlngCount = 1, otherwise vlngCount numbers
// joined by "," in ascending order. False with the reason in vstrErr.
bool GetBillID(host::ObjectContext& ctx, const std::string& vstrTable, int32_t vlngCount,
               const base::DateTime& vdtmDate, std::string& vstrBillID, const std::string& vstrDB,
               std::string& vstrErr);

// The numbering of one period: its prefix and counter width.
struct Numbering {
  std::string prefix;
  int width;
  int32_t last;  // highest counter value the width can hold
  std::string Format(int64_t counter) const;
};
Numbering NumberingFor(bool monthly, const base::DateTime& date);

// The `count` numbers after `used` numbers without gaps.
base::Result<std::vector<std::string>> NextAfter(const Numbering& numbering, int64_t used,
                                                 int32_t count = 1);

// The numbers to hand out, given the period's numbers in use. For one
// number `in_use` is in descending order, for a batch in ascending order.
// An error when the period has no free counter value left.
base::Result<std::vector<std::string>> PickNumbers(const Numbering& numbering,
                                                   const std::vector<std::string>& in_use,
                                                   int32_t count);

}  // namespace frame::share_bus

#endif  // PLEXAVO_FRAME_BILL_ID_H_
