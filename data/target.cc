#include "data/target.h"
#include "base/ascii.h"

#include <strings.h>

#include <map>

namespace data {
namespace {

constexpr int32_t kProviderGeneralError = -2147467259;  // 0x80004005

base::Err ProviderErr(const std::string& what) {
  return base::MakeErr(kProviderGeneralError, what, "Plexavo.Data");
}

}  // namespace

std::string Target::Key() const {
  if (backend == Backend::kSqlite) return "sqlite:" + path;
  return "postgresql://" + host + ":" + port + "/" + database + "?" + user;
}

base::Result<Target> ParseConnectionString(const std::string& cnn) {
  std::map<std::string, std::string> parts;
  size_t start = 0;
  while (start <= cnn.size()) {
    size_t end = cnn.find(';', start);
    if (end == std::string::npos) end = cnn.size();
    std::string item = cnn.substr(start, end - start);
    size_t eq = item.find('=');
    if (eq != std::string::npos)
      parts[base::AsciiLower(base::TrimChars(item.substr(0, eq), " "))] =
          base::TrimChars(item.substr(eq + 1), " ");
    start = end + 1;
  }
  Target t;
  t.database = parts["initial catalog"];
  t.user = parts["user id"];
  t.password = parts["password"];
  const std::string source = parts["data source"];
  if (source.rfind("sqlite:", 0) == 0) {
    t.backend = Backend::kSqlite;
    t.path = source.substr(7);
    if (t.path.empty()) return ProviderErr("Data Source names no SQLite file");
    return t;
  }
  if (source.rfind("postgresql://", 0) == 0) {
    t.backend = Backend::kPostgres;
    std::string hostport = source.substr(13);
    if (!hostport.empty() && hostport.back() == '/') hostport.pop_back();
    size_t colon = hostport.rfind(':');
    t.host = colon == std::string::npos ? hostport : hostport.substr(0, colon);
    t.port = colon == std::string::npos ? "5432" : hostport.substr(colon + 1);
    if (t.host.empty()) return ProviderErr("Data Source names no PostgreSQL host");
    if (t.database.empty()) return ProviderErr("Initial Catalog names no database");
    return t;
  }
  if (source.empty()) {
    return ProviderErr(
        "[Plexavo.Data] Data Source is empty: the company database has no server setting");
  }
  return ProviderErr("[Plexavo.Data] Data Source '" + source +
                     "' is neither sqlite:PATH nor postgresql://HOST[:PORT]");
}

const char* ProviderSource(Backend backend) {
  return backend == Backend::kSqlite ? "Plexavo.Data.SQLite" : "Plexavo.Data.PostgreSQL";
}

}  // namespace data
