// plexavo demo: a ready-to-call demo company served over HTTP.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/datetime.h"
#include "cli/commands.h"
#include "cli/demo_company.h"
#include "cli/server_commands.h"
#include "cli/sign_in_link.h"
#include "data/admin.h"
#include "schema/initdb.h"
#include "server/server.h"

namespace cli {
namespace {

constexpr const char* kCompany = "demo";

std::string CurrentPeriod() {
  const std::string today = base::DateTime::Now().FormatDate();
  return today.substr(0, 4) + today.substr(5, 2);
}

}  // namespace

int RunDemo(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {.options = {"--dir", "--listen", "--tls-cert", "--tls-key"},
                                     .flags = {"--plain-http"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  server::ServeOptions options;
  if (std::optional<std::string> listen = args->Option("--listen")) {
    base::Status parsed = ParseListen(*listen, options);
    if (!parsed.ok()) return inv.UsageError(parsed.err().description);
  }
  if (auto refused = ApplyTransport(*args, "demo", options, inv.err())) {
    return inv.UsageError(*refused);
  }
  std::error_code ec;
  const std::filesystem::path dir =
      std::filesystem::absolute(args->Option("--dir").value_or("demo"), ec);
  std::filesystem::create_directories(dir, ec);
  if (ec) return inv.Failure("cannot create " + dir.string() + ": " + ec.message());

  // A fresh company each time: the settings file names it, and the server
  // reads that file on every call.
  data::Target target;
  target.backend = data::Backend::kSqlite;
  target.database = kCompany;
  target.path = (dir / "demo.db").string();
  (void)data::DropDatabase(target);
  const std::string settings = (dir / "settings.ini").string();
  std::ofstream(settings) << "; Company databases of the demo.\n"
                          << "[SoftWare\\Halvaren\\Kelmora\\" << kCompany << "]\n"
                          << "Server=sqlite:" << target.path << "\nUserID=\nPWD=\n";
  setenv("PLEXAVO_SETTINGS", settings.c_str(), 1);

  auto initialised = schema::InitDb(target);
  if (!initialised.ok()) return inv.Failure(initialised.err());
  const std::string period = CurrentPeriod();
  auto users = SeedDemoCompany(target, period);
  if (!users.ok()) return inv.Failure(users.err());

  const std::string url = (options.tls_cert.empty() ? "http://" : "https://") + options.host + ":" +
                          std::to_string(options.port);
  inv.out() << "Demo company \"" << kCompany << "\" in " << target.path << "\n"
            << "Settings: export PLEXAVO_SETTINGS=" << settings << "\n"
            << "Current period of module MF: " << period << "\n"
            << "Users: admin (every right), wang (read, maintain), li (read, execute, reverse)\n"
            << "Admin token: " << users->admin_token << "\n"
            << "Clerk token (wang): " << users->clerk_token << "\n"
            << "Keeper token (li): " << users->keeper_token << "\n"
            << "Sign-in links of the bill-entry page:\n"
            << "  admin: " << SignInLink(url, kCompany, users->admin_token) << "\n"
            << "  wang:  " << SignInLink(url, kCompany, users->clerk_token) << "\n"
            << "  li:    " << SignInLink(url, kCompany, users->keeper_token) << "\n"
            << "API document: " << url << "/docs   Metrics: " << url << "/metrics\n"
            << "Server: " << url << "  (Ctrl-C stops it)\n"
            << "Try:\n  curl -s -H 'Authorization: Bearer " << users->admin_token
            << "' -d '{\"progid\":\"Plexavo.MF_OutBill\",\"method\":\"CurPeriod\","
               "\"args\":{\"vstrDB\":\"demo\",\"vstrErr\":\"\"}}' "
            << url << "/v1/call\n"
            << std::flush;
  return server::Serve(options, inv.out()) == 0 ? kExitOk : kExitFailure;
}

}  // namespace cli
