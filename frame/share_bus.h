// Shared services of the writer and the frame (the Share_Bus module).
#ifndef PLEXAVO_FRAME_SHARE_BUS_H_
#define PLEXAVO_FRAME_SHARE_BUS_H_

#include <string>
#include <vector>

#include "base/currency.h"
#include "base/result.h"
#include "host/object_context.h"

namespace frame::share_bus {

// The caller's language code, asked of the user service created on its own
// (outside the caller's transaction). False leaves the service's text in
// `err`; an unexpected failure leaves the composed text for
// "Share_Bus.GetUserLang". Votes on the calling object's context.
bool GetUserLang(host::ObjectContext& ctx, std::string& lang, const std::string& db,
                 std::string& err);

// The component's description in the use log.
inline constexpr const char* kUseLogComponent = "生产领料单";

// Writes one use-log row (the caller's login, the server's date and time,
// the component, `vstrDesc`) inside the caller's transaction. False outside
// a transaction, when the login cannot be had, or when the insert fails.
bool MakeLog(host::ObjectContext& ctx, const std::string& vstrDesc, const std::string& vstrDB,
             std::string& vstrErr);

// Whether bills take the machine's date: the setting MachineTime is "1"
// exactly. A missing setting or a NULL value is a failure, not "off".
bool GetMachineTime(host::ObjectContext& ctx, bool& vblnMachineTime, const std::string& vstrDB,
                    std::string& vstrErr);

// A quantity in the article's stock unit: qty × Num ÷ Den of the article's
// unit row, rounded to four decimals with ties to even. Any failure (no unit
// row, a NULL factor, Den 0, the database) is raised again to the caller
// with number + 0x80040000 and source "StMeasQty:" + its source.
base::Result<base::Currency> StMeasQty(int32_t vlngArtID, const std::string& vstrMeasID,
                                       base::Currency vcurQty, const std::string& vstrDB);

// A quantity in a caller's unit of an article.
struct UnitQty {
  int32_t art = 0;
  std::string meas;
  base::Currency qty;
};

// StMeasQty of every line, the factors read in one statement. Answers the
// quantities in line order, or StMeasQty's failure for the first line that
// cannot be converted; `done` then counts the lines converted before it.
base::Result<std::vector<base::Currency>> StMeasQtys(const std::vector<UnitQty>& lines,
                                                     const std::string& vstrDB, size_t& done);

}  // namespace frame::share_bus

#endif  // PLEXAVO_FRAME_SHARE_BUS_H_
