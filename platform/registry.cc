#include "platform/registry.h"

#include "base/ascii.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace platform {
namespace {

// Blanks around keys, values and section names are not part of them.
std::string Trim(const std::string& s) { return base::TrimChars(s, " \t\r"); }

std::atomic<uint64_t> g_open_attempts{0};

}  // namespace

uint64_t RegistryOpenAttempts() { return g_open_attempts.load(); }

std::string SettingsPath() {
  const char* env = std::getenv("PLEXAVO_SETTINGS");
  return env != nullptr && *env != '\0' ? env : kDefaultSettingsPath;
}

long RegistryKey::Open(const std::string& path, RegistryKey* out) {
  g_open_attempts.fetch_add(1);
  std::ifstream in(SettingsPath());
  if (!in) return kRegFileNotFound;
  const std::string wanted = base::AsciiLower(path);
  bool found = false;
  bool inside = false;
  RegistryKey key;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      inside = base::AsciiLower(Trim(t.substr(1, t.size() - 2))) == wanted;
      found = found || inside;
      continue;
    }
    if (!inside) continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      key.values_[base::AsciiLower(t)] = std::nullopt;
    } else {
      key.values_[base::AsciiLower(Trim(t.substr(0, eq)))] = Trim(t.substr(eq + 1));
    }
  }
  if (!found) return kRegFileNotFound;
  *out = std::move(key);
  return kRegSuccess;
}

long RegistryKey::QueryValue(const std::string& name, char* buffer, uint32_t* length) const {
  auto it = values_.find(base::AsciiLower(name));
  if (it == values_.end()) return kRegFileNotFound;
  if (!it->second.has_value()) {
    *length = 0;
    return kRegSuccess;
  }
  const std::string& text = *it->second;
  if (text.size() + 1 > *length) {
    *length = static_cast<uint32_t>(text.size() + 1);
    return kRegMoreData;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *length = static_cast<uint32_t>(text.size() + 1);
  return kRegSuccess;
}

}  // namespace platform
