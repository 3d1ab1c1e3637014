// The HTTP request head: any bytes are refused with 400/431 or read into a
// head whose interpreted fields agree with its header lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/http_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t end = server::HeadEnd(bytes);
  if (end == std::string_view::npos) return 0;
  if (end > bytes.size()) std::abort();
  server::HeadParse p = server::ParseRequestHead(bytes.substr(0, end));
  if (p.head.has_value() == p.error.has_value()) std::abort();
  if (p.error) {
    if (p.error->status != 400 && p.error->status != 431) std::abort();
    return 0;
  }
  const server::RequestHead& h = *p.head;
  if (h.method.empty() || h.path.empty() || h.path[0] != '/') std::abort();
  if (h.content_length > 999999999999999999ULL) std::abort();
  if (h.Header("transfer-encoding")) std::abort();
  for (const auto& [name, value] : h.headers) {
    if (name.empty() || value.find('\0') != std::string::npos) std::abort();
    // Every Content-Length line gives the same number.
    if (name == "content-length" && std::stoull(value) != h.content_length) std::abort();
  }
  return 0;
}
