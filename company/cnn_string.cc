#include "company/cnn_string.h"

#include "messages/format_err.h"
#include "platform/registry.h"

namespace company {
namespace {

constexpr uint32_t kBufferSize = 255;

// A value read from the key, as the frame reads it: its text, or a fault
// when a returned length leaves nothing to take the terminating NUL from.
base::Result<std::string> ReadValue(const platform::RegistryKey& key, const std::string& name,
                                    const std::string& failure_method, const std::string& db,
                                    bool empty_when_zero_length) {
  char buffer[kBufferSize] = {};
  uint32_t length = kBufferSize;
  long rc = key.QueryValue(name, buffer, &length);
  if (rc != platform::kRegSuccess) {
    (void)messages::FormatErr(failure_method + ":<" + db + ">" + std::to_string(rc), base::Err{});
    return std::string();
  }
  if (length < 1) {
    if (empty_when_zero_length) return std::string();
    return base::MakeErr(base::kErrInvalidArgument, "Invalid procedure call or argument");
  }
  return std::string(buffer, length - 1);
}

}  // namespace

base::Err RaiseAgain(const base::Err& fault, const std::string& source_prefix) {
  auto wrapped = static_cast<int32_t>(static_cast<uint32_t>(fault.number) +
                                      static_cast<uint32_t>(kRaiseOffset));
  return base::Err{wrapped, source_prefix + fault.source, fault.description};
}

base::Result<std::string> GetCnnString(const std::string& db) {
  const std::string path = kSettingsKeyPrefix + db;
  platform::RegistryKey key;
  long rc = platform::RegistryKey::Open(path, &key);
  if (rc != platform::kRegSuccess) rc = platform::RegistryKey::Open(path, &key);
  std::string server, user, pwd;
  if (rc != platform::kRegSuccess) {
    (void)messages::FormatErr(
        "GetCnnString.RegOpenKeyEx." + path + ":<" + db + ">" + std::to_string(rc), base::Err{});
  } else {
    auto s = ReadValue(key, "Server", "GetCnnString.RegQueryValueEx.Server", db, false);
    if (!s.ok()) return RaiseAgain(s.err(), "GetCnnString: ");
    auto u = ReadValue(key, "UserID", "GetCnnString.RegQueryValueEx.UserID", db, false);
    if (!u.ok()) return RaiseAgain(u.err(), "GetCnnString: ");
    auto p = ReadValue(key, "PWD", "GetCnnString.RequeryValueEx.PWD", db, true);
    if (!p.ok()) return RaiseAgain(p.err(), "GetCnnString: ");
    server = *s;
    user = *u;
    pwd = *p;
  }
  return "Provider=SQLOLEDB.1;Password=" + pwd + ";Persist Security Info=False; " +
         " User ID=" + user + ";Initial Catalog=" + db + " ;Data Source=" + server;
}

}  // namespace company
