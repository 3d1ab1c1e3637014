// The registration file: the INI file that stands in for the system's
// class registry, shared by every component installed on the machine. Its
// path is $PLEXAVO_REGISTRY, or /etc/plexavo/registry.ini when that is not
// set. Edits touch only the named entries of the named sections and keep
// every other line byte for byte.
#ifndef PLEXAVO_BOUNDARY_INPROC_REGISTRY_H_
#define PLEXAVO_BOUNDARY_INPROC_REGISTRY_H_

#include <functional>
#include <string>
#include <vector>

#include "base/result.h"

namespace boundary::inproc {

inline constexpr const char* kDefaultRegistryPath = "/etc/plexavo/registry.ini";

struct RegEntry {
  std::string key;
  std::string value;
};

struct RegSection {
  std::string name;  // without the brackets, e.g. "Class\{...}"
  std::vector<RegEntry> entries;
};

// Path of the registration file in force now.
std::string RegistryPath();

// `text` with every entry of `sections` set. A missing section is appended
// at the end after a blank line; a missing entry is added after the last
// non-blank line of its section; an entry with another value is rewritten.
// Section names and keys compare case-insensitively. All other lines stay
// as they are, as does the presence or absence of a final line break.
std::string ApplySections(const std::string& text, const std::vector<RegSection>& sections);

// `text` without the entries of `sections` (by key, whatever their value).
// A section left with blank lines only loses its header and the blank line
// just before it; a section that still holds other lines keeps its header.
// Undoes ApplySections exactly when nobody else edited those sections.
std::string RemoveSections(const std::string& text, const std::vector<RegSection>& sections);

// Reads the file under an exclusive lock (flock), passes its text to `edit`
// and writes the answer back when it differs. With `create` a missing file
// (and its directory) is created first; without, a missing file is left
// missing and `edit` is not called.
base::Status EditRegistryFile(const std::string& path, bool create,
                              const std::function<std::string(const std::string&)>& edit);

}  // namespace boundary::inproc

#endif  // PLEXAVO_BOUNDARY_INPROC_REGISTRY_H_
