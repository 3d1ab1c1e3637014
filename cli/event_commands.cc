// events prune / events follow: the change feed from the admin tool.
#include <chrono>
#include <string>

#include "cli/commands.h"
#include "cli/company_admin.h"
#include "company/company_db.h"
#include "frame/feed.h"
#include "server/events.h"

namespace cli {
namespace {

base::Result<Args> ParseFeedArgs(const std::vector<std::string>& raw, const ArgSpec& accepted) {
  PLX_ASSIGN_OR_RETURN(Args args, ParseArgs(raw, accepted));
  PLX_RETURN_IF_ERROR(CheckDatabaseName(args.positionals.at(0)));
  return args;
}

// A whole number of at least `low` from option `name`, or `fallback`.
base::Result<int64_t> NumberOption(const Args& args, const std::string& name, int64_t fallback,
                                   int64_t low) {
  auto text = args.Option(name);
  if (!text) return fallback;
  try {
    size_t used = 0;
    const int64_t v = std::stoll(*text, &used);
    if (used == text->size() && v >= low && v <= INT32_MAX) return v;
  } catch (...) {
  }
  return base::MakeErr(base::kErrInvalidArgument,
                       name + " must be a whole number from " + std::to_string(low) + " up",
                       "Plexavo.Cli");
}

}  // namespace

int RunEventsPrune(Invocation& inv) {
  auto args = ParseFeedArgs(inv.args(), {.positionals = {"DB"}, .options = {"--before"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  auto before_text = args->Option("--before");
  if (!before_text) return inv.UsageError("--before DATE is required");
  auto before = base::DateTime::Parse(*before_text);
  if (!before.ok()) return inv.UsageError("--before must be a date, yyyy-mm-dd");
  auto target = company::CompanyTarget(args->positionals[0]);
  if (!target.ok()) return inv.Failure(target.err());
  auto pruned = frame::feed::Prune(*target, *before);
  if (!pruned.ok()) return inv.Failure(pruned.err());
  inv.out() << "pruned " << *pruned << " event" << (*pruned == 1 ? "" : "s") << " before "
            << before->FormatDate() << "\n";
  return kExitOk;
}

int RunEventsFollow(Invocation& inv) {
  auto args = ParseFeedArgs(inv.args(), {.positionals = {"DB"}, .options = {"--after", "--idle"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  auto after = NumberOption(*args, "--after", 0, 0);
  if (!after.ok()) return inv.UsageError(after.err().description);
  auto idle = NumberOption(*args, "--idle", -1, 1);
  if (!idle.ok()) return inv.UsageError(idle.err().description);
  auto target = company::CompanyTarget(args->positionals[0]);
  if (!target.ok()) return inv.Failure(target.err());
  int32_t last = static_cast<int32_t>(*after);
  // Without --idle: follows until stopped, waking at least once a minute.
  const auto wait = std::chrono::seconds(*idle > 0 ? *idle : 60);
  for (;;) {
    auto events = frame::feed::ReadOrWait(*target, last, server::kMaxEventLimit,
                                          std::chrono::steady_clock::now() + wait);
    if (!events.ok()) return inv.Failure(events.err());
    for (const frame::feed::Event& e : *events) {
      inv.out() << server::EventJson(e) << "\n";
      last = e.seq;
    }
    inv.out().flush();
    if (events->empty() && *idle > 0) return kExitOk;
  }
}

}  // namespace cli
