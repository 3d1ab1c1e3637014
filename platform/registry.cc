#include "platform/registry.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "base/ascii.h"

namespace platform {

// The parsed settings file: key path (lower case) → its values.
struct SettingsFile {
  std::map<std::string, std::shared_ptr<RegistryKey::Values>> keys;
};

namespace {

// Blanks around keys, values and section names are not part of them.
std::string Trim(const std::string& s) { return base::TrimChars(s, " \t\r"); }

std::atomic<uint64_t> g_open_attempts{0};
std::atomic<uint64_t> g_file_reads{0};

// What tells one version of the file from another.
struct Identity {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};

  bool operator==(const Identity& o) const {
    return path == o.path && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

std::optional<Identity> IdentityOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return Identity{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

std::shared_ptr<const SettingsFile> Parse(std::ifstream& in) {
  auto file = std::make_shared<SettingsFile>();
  std::shared_ptr<RegistryKey::Values> section;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      auto& values = file->keys[base::AsciiLower(Trim(t.substr(1, t.size() - 2)))];
      if (!values) values = std::make_shared<RegistryKey::Values>();
      section = values;
      continue;
    }
    if (!section) continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      (*section)[base::AsciiLower(t)] = std::nullopt;
    } else {
      (*section)[base::AsciiLower(Trim(t.substr(0, eq)))] = Trim(t.substr(eq + 1));
    }
  }
  return file;
}

// A change to the file within this time of reading it might keep the same
// timestamps; such a file is not trusted from the cache.
constexpr time_t kSettleSeconds = 1;

class SettingsCache {
 public:
  // The file as it is now, or nullptr when it cannot be read.
  std::shared_ptr<const SettingsFile> Current() {
    std::optional<Identity> id = IdentityOf(SettingsPath());
    if (!id) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (file_ && trusted_ && *id == identity_) return file_;
    }
    const time_t now = std::time(nullptr);
    std::ifstream in(id->path);
    if (!in) return nullptr;
    std::shared_ptr<const SettingsFile> file = Parse(in);
    g_file_reads.fetch_add(1);
    std::lock_guard<std::mutex> lock(mu_);
    file_ = file;
    identity_ = *id;
    trusted_ = now - id->mtime.tv_sec > kSettleSeconds;
    return file;
  }

 private:
  std::mutex mu_;
  std::shared_ptr<const SettingsFile> file_;
  Identity identity_;
  bool trusted_ = false;
};

SettingsCache& Cache() {
  static auto* cache = new SettingsCache();  // lives as long as the process
  return *cache;
}

}  // namespace

uint64_t RegistryOpenAttempts() { return g_open_attempts.load(); }
uint64_t SettingsFileReads() { return g_file_reads.load(); }

std::string SettingsPath() {
  const char* env = std::getenv("PLEXAVO_SETTINGS");
  return env != nullptr && *env != '\0' ? env : kDefaultSettingsPath;
}

long RegistryKey::Open(const std::string& path, RegistryKey* out) {
  g_open_attempts.fetch_add(1);
  std::shared_ptr<const SettingsFile> file = Cache().Current();
  if (!file) return kRegFileNotFound;
  auto it = file->keys.find(base::AsciiLower(path));
  if (it == file->keys.end()) return kRegFileNotFound;
  out->values_ = it->second;
  return kRegSuccess;
}

long RegistryKey::QueryValue(const std::string& name, char* buffer, uint32_t* length) const {
  if (!values_) return kRegFileNotFound;
  auto it = values_->find(base::AsciiLower(name));
  if (it == values_->end()) return kRegFileNotFound;
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
