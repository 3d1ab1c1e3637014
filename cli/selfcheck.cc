// `plexavo selfcheck`: runs the tool's own commands in-process against a
// throwaway SQLite company database and reads their work back.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "company/company_db.h"
#include "data/connection.h"
#include "schema/migrations.h"
#include "tokens/token.h"
#include "tokens/token_store.h"

namespace cli {
namespace {

constexpr const char* kDb = "selfcheck";
constexpr const char* kLogin = "selfcheck";
constexpr const char* kRight = "SC01";
constexpr const char* kConfigKey = "SelfCheck";
constexpr const char* kConfigValue = "checked";
constexpr const char* kModule = "SC";
constexpr const char* kPeriod = "202406";

base::Err Failed(std::string what) {
  return base::MakeErr(base::kErrInternal, std::move(what), "Plexavo.Selfcheck");
}

// A temporary directory, removed with everything in it at scope exit.
class TempDir {
 public:
  TempDir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string tmpl = (base / "plexavo-selfcheck-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }  // empty when creation failed

 private:
  std::string path_;
};

// Points PLEXAVO_SETTINGS at a file for its lifetime, then restores it.
class SettingsOverride {
 public:
  explicit SettingsOverride(const std::string& path) {
    if (const char* old = getenv("PLEXAVO_SETTINGS")) saved_ = old;
    setenv("PLEXAVO_SETTINGS", path.c_str(), 1);
  }
  ~SettingsOverride() {
    if (saved_) {
      setenv("PLEXAVO_SETTINGS", saved_->c_str(), 1);
    } else {
      unsetenv("PLEXAVO_SETTINGS");
    }
  }
  SettingsOverride(const SettingsOverride&) = delete;
  SettingsOverride& operator=(const SettingsOverride&) = delete;

 private:
  std::optional<std::string> saved_;
};

// Runs one command of the tool; answers its standard output when it succeeds.
base::Result<std::string> Step(const std::vector<std::string>& args, std::ostream& log) {
  std::ostringstream out;
  std::ostringstream err;
  int code = Run(args, out, err);
  std::string shown = "plexavo";
  for (const std::string& a : args) {
    shown += a.find(' ') == std::string::npos ? " " + a : " '" + a + "'";
  }
  if (code != kExitOk) {
    return Failed(shown + " exited " + std::to_string(code) + ": " + err.str());
  }
  log << "ok: " << shown << "\n";
  return out.str();
}

// The one text value a query answers about the database.
base::Result<std::string> ReadText(data::Connection& cnn, const data::Sql& sql) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"v", base::FieldType::kText}}));
  if (rs.RecordCount() != 1) {
    return Failed("expected one row from \"" + sql.text + "\", read " +
                  std::to_string(rs.RecordCount()));
  }
  return rs.Row(0)[0].TextOrEmpty();
}

base::Status Expect(data::Connection& cnn, const data::Sql& sql, const std::string& expected) {
  PLX_ASSIGN_OR_RETURN(std::string got, ReadText(cnn, sql));
  if (got != expected) {
    return Failed("\"" + sql.text + "\" read '" + got + "', expected '" + expected + "'");
  }
  return base::OkStatus();
}

base::Status CheckAll(const std::string& dir, std::ostream& log) {
  const std::string settings = dir + "/settings.ini";
  {
    std::ofstream file(settings, std::ios::trunc);
    file << "[SoftWare\\Halvaren\\Kelmora\\" << kDb << "]\n"
         << "Server=sqlite:" << dir << "/" << kDb << ".db\n"
         << "UserID=\nPWD=\n";
    if (!file.flush()) return Failed("cannot write " + settings);
  }
  SettingsOverride override_settings(settings);

  const std::string version = std::to_string(schema::LatestVersion());
  PLX_ASSIGN_OR_RETURN(std::string init, Step({"initdb", kDb}, log));
  const std::string fresh = "company database selfcheck is at schema version " + version;
  if (init.find(fresh + " (was 0)\n") == std::string::npos) {
    return Failed("initdb printed: " + init);
  }
  PLX_ASSIGN_OR_RETURN(std::string again, Step({"initdb", kDb}, log));
  if (again != fresh + " (was " + version + ")\n") {
    return Failed("second initdb printed: " + again);
  }
  PLX_ASSIGN_OR_RETURN(
      std::string token_line,
      Step({"user", "add", kDb, kLogin, "--name", "Self Check", "--lang", "T"}, log));
  std::string token = token_line.substr(0, token_line.find('\n'));
  if (!tokens::IsWellFormedToken(token) || token_line != token + "\n") {
    return Failed("user add printed '" + token_line + "' instead of one token line");
  }
  PLX_RETURN_IF_ERROR(Step({"user", "grant", kDb, kLogin, kRight}, log));
  PLX_RETURN_IF_ERROR(Step({"config", "set", kDb, kConfigKey, kConfigValue}, log));
  PLX_RETURN_IF_ERROR(Step({"period", "set", kDb, kModule, kPeriod}, log));

  PLX_ASSIGN_OR_RETURN(data::Target target, company::CompanyTarget(kDb));
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, nullptr));
  PLX_RETURN_IF_ERROR(
      Expect(cnn,
             data::Sql("SELECT UserName || '/' || Lang FROM SM_User WHERE LoginName = :login")
                 .Bind("login", kLogin),
             "Self Check/T"));
  PLX_ASSIGN_OR_RETURN(std::string token_login, tokens::LoginOfToken(cnn, token));
  if (token_login != kLogin) return Failed("the token belongs to '" + token_login + "'");
  PLX_RETURN_IF_ERROR(
      Expect(cnn,
             data::Sql("SELECT RightCode FROM SM_UserRight WHERE LoginName = :login")
                 .Bind("login", kLogin),
             kRight));
  PLX_RETURN_IF_ERROR(
      Expect(cnn, data::Sql("SELECT Value FROM SM_Config WHERE ID = :id").Bind("id", kConfigKey),
             kConfigValue));
  PLX_RETURN_IF_ERROR(
      Expect(cnn, data::Sql("SELECT Period FROM SM_Period WHERE Module = :m").Bind("m", kModule),
             kPeriod));
  log << "ok: read back user, token digest, right, setting and period\n";
  return base::OkStatus();
}

}  // namespace

int RunSelfcheck(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {});
  if (!args.ok()) return inv.UsageError(args.err().description);
  TempDir dir;
  if (dir.path().empty()) return inv.Failure("cannot create a temporary directory");
  base::Status checked = CheckAll(dir.path(), inv.out());
  if (!checked.ok()) return inv.Failure("selfcheck failed: " + checked.err().description);
  inv.out() << "selfcheck ok\n";
  return kExitOk;
}

}  // namespace cli
