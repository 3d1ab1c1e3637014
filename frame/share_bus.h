// Shared services of the writer and the frame (the Share_Bus module).
#ifndef PLEXAVO_FRAME_SHARE_BUS_H_
#define PLEXAVO_FRAME_SHARE_BUS_H_

#include <string>

#include "host/object_context.h"

namespace frame::share_bus {

// The caller's language code, asked of the user service created on its own
// (outside the caller's transaction). False leaves the service's text in
// `err`; an unexpected failure leaves the composed text for
// "Share_Bus.GetUserLang". Votes on the calling object's context.
bool GetUserLang(host::ObjectContext& ctx, std::string& lang, const std::string& db,
                 std::string& err);

}  // namespace frame::share_bus

#endif  // PLEXAVO_FRAME_SHARE_BUS_H_
