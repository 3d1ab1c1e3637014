// The settings store that stands in for the machine's registry: one
// read-only INI file whose sections are key paths and whose entries are
// named text values. The parsed file is kept and used again while the file
// keeps its identity (device, inode, size, modification and change times);
// any change to the file is read by the next open. A file modified less
// than a second before it was read is read again on every open, since a
// second change within the file system's timestamp granularity might leave
// every attribute alike.
//
//   [SoftWare\Halvaren\Kelmora\demo]
//   Server=sqlite:/var/lib/plexavo/demo.db
//   UserID=
//   PWD=
//
// "Name=text" stores text (returned length = bytes + 1 for the terminating
// NUL, as the registry counts it); a line "Name" without "=" stores a value
// with no data at all (returned length 0). Lines starting with ';' or '#'
// are comments. The file's path is $PLEXAVO_SETTINGS, or
// /etc/plexavo/settings.ini when that is not set.
#ifndef PLEXAVO_PLATFORM_REGISTRY_H_
#define PLEXAVO_PLATFORM_REGISTRY_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Return codes, the same numbers the registry API uses.
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegMoreData = 234;

inline constexpr const char* kDefaultSettingsPath = "/etc/plexavo/settings.ini";

// Path of the settings file in force now.
std::string SettingsPath();

// How many key opens this process has attempted (for diagnostics and tests).
uint64_t RegistryOpenAttempts();
// How many times this process has read and parsed the settings file.
uint64_t SettingsFileReads();

class RegistryKey {
 public:
  // A key's values: name (lower case) → text; nullopt for a value without data.
  using Values = std::map<std::string, std::optional<std::string>>;

  // Opens a key path (compared case-insensitively, as the registry does).
  // kRegFileNotFound when the file or the section is missing.
  static long Open(const std::string& path, RegistryKey* out);

  // Reads a value into `buffer` of `*length` bytes. On success *length is
  // the value's returned length (text bytes + 1, or 0 for a value without
  // data) and the buffer holds the text followed by a NUL. A value that
  // does not fit answers kRegMoreData; a missing one kRegFileNotFound.
  long QueryValue(const std::string& name, char* buffer, uint32_t* length) const;

 private:
  std::shared_ptr<const Values> values_;
};

}  // namespace platform

#endif  // PLEXAVO_PLATFORM_REGISTRY_H_
