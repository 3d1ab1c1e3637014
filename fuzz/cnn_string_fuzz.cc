// The connection-string parser: any text is either refused or read into a
// target of a known backend that names its database.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto target = data::ParseConnectionString(std::string(reinterpret_cast<const char*>(data), size));
  if (!target.ok()) {
    if (target.err().description.empty()) std::abort();
    return 0;
  }
  if (target->backend == data::Backend::kSqlite && target->path.empty()) std::abort();
  if (target->backend == data::Backend::kPostgres && target->host.empty()) std::abort();
  (void)target->Key();
  return 0;
}
