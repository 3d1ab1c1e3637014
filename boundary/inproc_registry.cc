#include "boundary/inproc_registry.h"

#include "base/ascii.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace boundary::inproc {
namespace {

// The file as lines without their '\n' (a '\r' before it stays part of the
// line), plus how new lines end and whether the last line had a break.
struct Lines {
  std::vector<std::string> lines;
  bool final_break = true;
  std::string cr;  // "\r" when the file's first line ends in CR LF
};

Lines Split(const std::string& text) {
  Lines out;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      out.lines.push_back(text.substr(start));
      out.final_break = false;
      break;
    }
    out.lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  if (!out.lines.empty() && !out.lines[0].empty() && out.lines[0].back() == '\r') out.cr = "\r";
  return out;
}

std::string Join(const Lines& l) {
  std::string out;
  for (size_t i = 0; i < l.lines.size(); ++i) {
    out += l.lines[i];
    if (i + 1 < l.lines.size() || l.final_break) out += '\n';
  }
  return out;
}

std::string Trim(const std::string& s) { return base::TrimChars(s, " \t\r"); }

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsBlank(const std::string& line) { return Trim(line).empty(); }

bool IsComment(const std::string& t) { return !t.empty() && (t[0] == ';' || t[0] == '#'); }

// The section name of a header line "[name]".
bool HeaderName(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = Trim(t.substr(1, t.size() - 2));
  return true;
}

// The key of an entry line "key=value" (or "key" for a value without data).
bool KeyOf(const std::string& line, std::string* key) {
  std::string t = Trim(line);
  std::string ignored;
  if (t.empty() || IsComment(t) || HeaderName(t, &ignored)) return false;
  *key = Trim(t.substr(0, t.find('=')));
  return true;
}

std::string ValueOf(const std::string& line) {
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
}

// Index of the first header named `name` at or after `from`, or -1.
long FindHeader(const std::vector<std::string>& lines, const std::string& name, size_t from) {
  std::string found;
  for (size_t i = from; i < lines.size(); ++i) {
    if (HeaderName(lines[i], &found) && SameText(found, name)) return static_cast<long>(i);
  }
  return -1;
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const std::vector<std::string>& lines, size_t header) {
  std::string ignored;
  size_t i = header + 1;
  while (i < lines.size() && !HeaderName(lines[i], &ignored)) ++i;
  return i;
}

bool IsKeyOf(const std::string& line, const RegSection& section) {
  std::string key;
  if (!KeyOf(line, &key)) return false;
  for (const RegEntry& e : section.entries) {
    if (SameText(key, e.key)) return true;
  }
  return false;
}

base::Err FileErr(const std::string& what, const std::string& path) {
  return base::MakeErr(base::kErrInternal,
                       "registration file " + path + ": " + what + ": " + std::strerror(errno));
}

}  // namespace

std::string RegistryPath() {
  const char* env = std::getenv("PLEXAVO_REGISTRY");
  return env != nullptr && *env != '\0' ? env : kDefaultRegistryPath;
}

std::string ApplySections(const std::string& text, const std::vector<RegSection>& sections) {
  Lines l = Split(text);
  std::vector<std::string>& lines = l.lines;
  for (const RegSection& section : sections) {
    long header = FindHeader(lines, section.name, 0);
    if (header < 0) {
      if (!lines.empty()) lines.push_back(l.cr);
      lines.push_back("[" + section.name + "]" + l.cr);
      for (const RegEntry& e : section.entries) lines.push_back(e.key + "=" + e.value + l.cr);
      continue;
    }
    const size_t h = static_cast<size_t>(header);
    for (const RegEntry& e : section.entries) {
      const size_t end = SectionEnd(lines, h);
      size_t insert_at = h + 1;
      bool done = false;
      for (size_t i = h + 1; i < end && !done; ++i) {
        std::string key;
        if (KeyOf(lines[i], &key) && SameText(key, e.key)) {
          if (ValueOf(lines[i]) != e.value || lines[i].find('=') == std::string::npos) {
            lines[i] = e.key + "=" + e.value + l.cr;
          }
          done = true;
        } else if (!IsBlank(lines[i])) {
          insert_at = i + 1;
        }
      }
      if (!done) {
        lines.insert(lines.begin() + static_cast<long>(insert_at), e.key + "=" + e.value + l.cr);
      }
    }
  }
  return Join(l);
}

std::string RemoveSections(const std::string& text, const std::vector<RegSection>& sections) {
  Lines l = Split(text);
  std::vector<std::string>& lines = l.lines;
  for (const RegSection& section : sections) {
    size_t from = 0;
    long header;
    while ((header = FindHeader(lines, section.name, from)) >= 0) {
      size_t h = static_cast<size_t>(header);
      size_t end = SectionEnd(lines, h);
      for (size_t i = end; i-- > h + 1;) {
        if (IsKeyOf(lines[i], section)) lines.erase(lines.begin() + static_cast<long>(i));
      }
      end = SectionEnd(lines, h);
      bool only_blank = true;
      for (size_t i = h + 1; i < end && only_blank; ++i) only_blank = IsBlank(lines[i]);
      if (!only_blank) {
        from = h + 1;
        continue;
      }
      lines.erase(lines.begin() + static_cast<long>(h));
      if (h > 0 && IsBlank(lines[h - 1])) {
        lines.erase(lines.begin() + static_cast<long>(h - 1));
        --h;
      }
      from = h;
    }
  }
  return Join(l);
}

base::Status EditRegistryFile(const std::string& path, bool create,
                              const std::function<std::string(const std::string&)>& edit) {
  if (create) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (ec) {
      return base::MakeErr(
          base::kErrInternal,
          "registration file " + path + ": cannot create its directory: " + ec.message());
    }
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) {
    if (!create && errno == ENOENT) return base::OkStatus();
    return FileErr("cannot open", path);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }  // also drops the lock
  } closer{fd};
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return FileErr("cannot lock", path);
  }
  std::string old_text;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FileErr("cannot read", path);
    if (n == 0) break;
    old_text.append(buf, static_cast<size_t>(n));
  }
  const std::string new_text = edit(old_text);
  if (new_text == old_text) return base::OkStatus();
  size_t written = 0;
  while (written < new_text.size()) {
    ssize_t n = ::pwrite(fd, new_text.data() + written, new_text.size() - written,
                         static_cast<off_t>(written));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FileErr("cannot write", path);
    written += static_cast<size_t>(n);
  }
  if (::ftruncate(fd, static_cast<off_t>(new_text.size())) != 0) {
    return FileErr("cannot truncate", path);
  }
  if (::fsync(fd) != 0) return FileErr("cannot flush", path);
  return base::OkStatus();
}

}  // namespace boundary::inproc
