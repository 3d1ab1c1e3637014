// The change feed: one event per completed change of bills, appended in the
// transaction that made the change, read by followers in sequence order.
//
// Sequence numbers come from the one counter row of PX_FeedSeq, taken by
// the transaction's very last statements (a commit step, just before its
// commit; data::CommitStep). The counter row stays locked until the
// transaction ends, so transactions take their numbers one after another
// in the order they commit: a number becomes visible only after every
// smaller one has been committed, and none is ever used twice or skipped by
// a committed transaction. Only the append waits; the changes themselves
// run side by side as before. Pruning old events leaves the counter alone,
// so numbers never go back.
#ifndef PLEXAVO_FRAME_FEED_H_
#define PLEXAVO_FRAME_FEED_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/result.h"
#include "data/target.h"
#include "host/object_context.h"

namespace frame::feed {

// The channel a committed append announces itself on (data/change_listener.h).
inline constexpr const char* kChannel = "plexavo_feed";

// Kinds of events.
inline constexpr const char* kCreated = "created";
inline constexpr const char* kRevised = "revised";
inline constexpr const char* kDeleted = "deleted";
inline constexpr const char* kExecuted = "executed";
inline constexpr const char* kReversed = "reversed";
inline constexpr const char* kPlanned = "planned";

struct Event {
  int32_t seq = 0;
  std::string time;  // yyyy-mm-dd hh:nn:ss, when the transaction appended it
  std::string user;  // the caller's login
  std::string kind;
  std::vector<std::string> bills;
  std::optional<int32_t> version;  // the one bill's Version after the change; none when
                                   // the bill is gone or the event names several
};

// Appends an event of `kind` for `bills` to the transaction of `ctx` on
// company database `db`; written when the transaction commits.
base::Status Record(host::ObjectContext& ctx, const std::string& db, const std::string& kind,
                    const std::vector<std::string>& bills);

// The events after sequence `after`, at most `limit`, in sequence order.
base::Result<std::vector<Event>> Read(const data::Target& target, int32_t after, int32_t limit);

// The events after `after` (at most `limit`); when there are none yet,
// waits until a transaction commits some or `deadline` passes, and answers
// what is there then (possibly nothing).
base::Result<std::vector<Event>> ReadOrWait(const data::Target& target, int32_t after,
                                            int32_t limit,
                                            std::chrono::steady_clock::time_point deadline);

// Deletes the events appended before `before`; answers how many went.
base::Result<int64_t> Prune(const data::Target& target, const base::DateTime& before);

}  // namespace frame::feed

#endif  // PLEXAVO_FRAME_FEED_H_
