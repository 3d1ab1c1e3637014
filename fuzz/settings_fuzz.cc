// The settings file parser: any file content, any key and value names, and
// the registry's buffer rules (a value never overruns the caller's buffer).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/registry.h"

namespace {

const std::string& SettingsFile() {
  static const std::string path = [] {
    std::string p = "/tmp/plexavo-settings-fuzz-" + std::to_string(getpid()) + ".ini";
    setenv("PLEXAVO_SETTINGS", p.c_str(), 1);
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(SettingsFile(), std::ios::trunc | std::ios::binary);
    out << text;
  }
  // The first line names the key to open; the names to query follow it in
  // the file's own text, so that found keys are exercised too.
  const std::string key = text.substr(0, text.find('\n'));
  for (const std::string& path : {key, std::string("SoftWare\\Halvaren\\Kelmora\\demo")}) {
    platform::RegistryKey reg;
    if (platform::RegistryKey::Open(path, &reg) != platform::kRegSuccess) continue;
    for (const char* name : {"Server", "UserID", "PWD", "MaxBillLines", ""}) {
      for (uint32_t capacity : {0u, 1u, 8u, 255u}) {
        char buf[256];
        std::memset(buf, 0x5a, sizeof buf);
        uint32_t length = capacity;
        long rc = reg.QueryValue(name, buf, &length);
        // Nothing beyond the buffer the caller named is touched.
        if (buf[capacity] != 0x5a) std::abort();
        if (rc == platform::kRegSuccess && length > capacity) std::abort();
      }
    }
  }
  return 0;
}
