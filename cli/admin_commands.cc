// Handlers of the commands that change one company database.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/company_admin.h"
#include "cli/sign_in_link.h"
#include "company/company_db.h"
#include "schema/initdb.h"

namespace cli {
namespace {

// Parses arguments whose first positional is a company database name and
// whose other positionals must not be empty.
base::Result<Args> ParseDbArgs(const std::vector<std::string>& raw, const ArgSpec& accepted) {
  PLX_ASSIGN_OR_RETURN(Args args, ParseArgs(raw, accepted));
  PLX_RETURN_IF_ERROR(CheckDatabaseName(args.positionals.at(0)));
  for (size_t i = 1; i < args.positionals.size(); ++i) {
    if (args.positionals[i].empty()) {
      const std::string& what = accepted.positionals[std::min(i, accepted.positionals.size() - 1)];
      return base::MakeErr(base::kErrInvalidArgument, what + " must not be empty", "Plexavo.Cli");
    }
  }
  return args;
}

std::string Shown(const std::optional<std::string>& value) {
  return value ? "'" + *value + "'" : "not set";
}

}  // namespace

int RunInitDb(Invocation& inv) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& db = args->positionals[0];
  auto target = company::CompanyTarget(db);
  if (!target.ok()) return inv.Failure(target.err());
  auto report =
      schema::InitDb(*target, [&](const std::string& line) { inv.out() << line << "\n"; });
  if (!report.ok()) return inv.Failure(report.err());
  inv.out() << "company database " << db << " is at schema version " << report->to_version
            << " (was " << report->from_version << ")\n";
  return kExitOk;
}

int RunUserAdd(Invocation& inv) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB", "LOGIN"},
                                       .options = {"--name", "--lang", "--inner-id", "--url"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  NewUser user;
  user.login = args->positionals[1];
  std::optional<std::string> name = args->Option("--name");
  if (!name || name->empty()) return inv.UsageError("--name NAME is required");
  user.name = *name;
  user.lang = args->Option("--lang").value_or("");
  if (std::optional<std::string> inner = args->Option("--inner-id")) {
    auto id = ParseInt32(*inner);
    if (!id.ok()) return inv.UsageError("--inner-id: " + id.err().description);
    user.inner_id = *id;
  }
  const std::string& db = args->positionals[0];
  auto target = company::CompanyTarget(db);
  if (!target.ok()) return inv.Failure(target.err());
  auto token = AddUser(*target, user);
  if (!token.ok()) return inv.Failure(token.err());
  inv.err() << "added user " << user.login << " to company database " << db
            << "; its sign-in token follows on standard output\n"
            << "sign-in link: "
            << SignInLink(args->Option("--url").value_or(kDefaultPageUrl), db, *token) << "\n";
  inv.out() << *token << "\n";
  return kExitOk;
}

int RunUserToken(Invocation& inv) {
  auto args =
      ParseDbArgs(inv.args(), {.positionals = {"DB", "LOGIN"}, .options = {"--url", "--days"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& db = args->positionals[0];
  const std::string& login = args->positionals[1];
  std::optional<base::DateTime> expires;
  if (std::optional<std::string> days = args->Option("--days")) {
    auto n = ParseInt32(*days);
    if (!n.ok() || *n < 1 || *n > 36500) {
      return inv.UsageError("--days must be 1 to 36500, not '" + *days + "'");
    }
    auto until = base::DateTime::FromOleDate(base::DateTime::Now().ToOleDate() + *n);
    if (!until.ok()) return inv.Failure(until.err());
    expires = *until;
  }
  auto target = company::CompanyTarget(db);
  if (!target.ok()) return inv.Failure(target.err());
  auto token = IssueUserToken(*target, login, expires);
  if (!token.ok()) return inv.Failure(token.err());
  inv.err() << "issued a sign-in token for user " << login << " in company database " << db
            << (expires ? ", valid until " + expires->FormatDateTime() : std::string()) << "\n"
            << "sign-in link: "
            << SignInLink(args->Option("--url").value_or(kDefaultPageUrl), db, *token) << "\n";
  inv.out() << *token << "\n";
  return kExitOk;
}

int RunUserTokenRevoke(Invocation& inv) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB", "LOGIN"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& db = args->positionals[0];
  const std::string& login = args->positionals[1];
  auto target = company::CompanyTarget(db);
  if (!target.ok()) return inv.Failure(target.err());
  auto revoked = RevokeUserTokens(*target, login);
  if (!revoked.ok()) return inv.Failure(revoked.err());
  inv.out() << "revoked " << *revoked << " sign-in token" << (*revoked == 1 ? "" : "s")
            << " of user " << login << " in company database " << db << "\n";
  return kExitOk;
}

namespace {

// user grant / user revoke: DB LOGIN CODE..., one line per code.
int ChangeRights(Invocation& inv, bool grant) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB", "LOGIN", "CODE"}, .variadic = true});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& login = args->positionals[1];
  std::vector<std::string> codes(args->positionals.begin() + 2, args->positionals.end());
  auto target = company::CompanyTarget(args->positionals[0]);
  if (!target.ok()) return inv.Failure(target.err());
  auto changes = grant ? GrantRights(*target, login, codes) : RevokeRights(*target, login, codes);
  if (!changes.ok()) return inv.Failure(changes.err());
  for (const RightChange& c : *changes) {
    if (c.changed) {
      inv.out() << (grant ? "granted " : "revoked ") << c.code << (grant ? " to " : " from ")
                << login << "\n";
    } else {
      inv.out() << c.code << (grant ? " was already granted to " : " was not granted to ") << login
                << "\n";
    }
  }
  return kExitOk;
}

}  // namespace

int RunUserGrant(Invocation& inv) { return ChangeRights(inv, true); }

int RunUserRevoke(Invocation& inv) { return ChangeRights(inv, false); }

int RunConfigSet(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {.positionals = {"DB", "KEY", "VALUE"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& db = args->positionals[0];
  const std::string& key = args->positionals[1];
  const std::string& value = args->positionals[2];
  // VALUE may be empty; DB and KEY may not.
  if (base::Status named = CheckDatabaseName(db); !named.ok()) {
    return inv.UsageError(named.err().description);
  }
  if (key.empty()) return inv.UsageError("KEY must not be empty");
  auto target = company::CompanyTarget(db);
  if (!target.ok()) return inv.Failure(target.err());
  auto before = SetConfig(*target, key, value);
  if (!before.ok()) return inv.Failure(before.err());
  inv.out() << "config " << key << " set to '" << value << "' (was " << Shown(*before) << ")\n";
  return kExitOk;
}

int RunPeriodSet(Invocation& inv) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB", "MODULE", "YYYYMM"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& module = args->positionals[1];
  const std::string& period = args->positionals[2];
  if (base::Status valid = CheckPeriod(period); !valid.ok()) {
    return inv.UsageError(valid.err().description);
  }
  auto target = company::CompanyTarget(args->positionals[0]);
  if (!target.ok()) return inv.Failure(target.err());
  auto before = SetPeriod(*target, module, period);
  if (!before.ok()) return inv.Failure(before.err());
  inv.out() << "period of module " << module << " set to " << period << " (was " << Shown(*before)
            << ")\n";
  return kExitOk;
}

int RunPeriodClear(Invocation& inv) {
  auto args = ParseDbArgs(inv.args(), {.positionals = {"DB", "MODULE"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::string& module = args->positionals[1];
  auto target = company::CompanyTarget(args->positionals[0]);
  if (!target.ok()) return inv.Failure(target.err());
  auto before = ClearPeriod(*target, module);
  if (!before.ok()) return inv.Failure(before.err());
  if (*before) {
    inv.out() << "period of module " << module << " cleared (was " << **before << ")\n";
  } else {
    inv.out() << "module " << module << " had no period; nothing changed\n";
  }
  return kExitOk;
}

}  // namespace cli
