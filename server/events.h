// GET /v1/events: the change feed over HTTP (frame/feed.h). The query names
// the company database and where to start; the answer is
// {"events": [{"seq": ..., "time": ..., "user": ..., "kind": ..., "bills":
// [...], "version": ...}, ...]} in sequence order, after waiting up to
// `wait` seconds when there are none yet.
#ifndef PLEXAVO_SERVER_EVENTS_H_
#define PLEXAVO_SERVER_EVENTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "frame/feed.h"

namespace server {

inline constexpr const char* kEventsPath = "/v1/events";
inline constexpr int32_t kDefaultEventLimit = 100;
inline constexpr int32_t kMaxEventLimit = 1000;
inline constexpr int32_t kMaxEventWait = 60;

struct EventsRequest {
  std::string db;
  int32_t after = 0;
  int32_t limit = kDefaultEventLimit;
  int32_t wait_s = 0;
};

// Reads the query text (after '?'): db=NAME (required), after=SEQ (0 and
// up), limit=N (1 to kMaxEventLimit), wait=SECONDS (0 to kMaxEventWait);
// values percent-decoded. Unknown names and bad values are refused.
base::Result<EventsRequest> ParseEventsRequest(std::string_view query);

// One event as a JSON object, on one line.
std::string EventJson(const frame::feed::Event& e);
// The answer body.
std::string EventsJson(const std::vector<frame::feed::Event>& events);

}  // namespace server

#endif  // PLEXAVO_SERVER_EVENTS_H_
