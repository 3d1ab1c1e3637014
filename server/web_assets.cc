#include "server/web_assets.h"

#include <map>

namespace server {
namespace {

constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
constexpr const char* kDocsPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

std::string ContentType(std::string_view path) {
  auto ends = [&](std::string_view suffix) {
    return path.size() >= suffix.size() && path.substr(path.size() - suffix.size()) == suffix;
  };
  if (path == "/" || ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

std::map<std::string, WebAnswer, std::less<>> BuildTable() {
  std::map<std::string, WebAnswer, std::less<>> table;
  for (const WebAsset& asset : EmbeddedWebAssets()) {
    const bool docs = asset.path.rfind("/docs", 0) == 0;
    WebAnswer answer{asset.bytes, ContentType(asset.path), docs ? kDocsPolicy : kPagePolicy};
    // The renderer's page is served as /docs, without its file name.
    if (asset.path == "/docs.html") {
      answer.security_policy = kDocsPolicy;
      table.emplace("/docs", answer);
      continue;
    }
    table.emplace(asset.path, answer);
  }
  return table;
}

}  // namespace

const WebAnswer* FindWebAsset(std::string_view path) {
  static const auto* table = new std::map<std::string, WebAnswer, std::less<>>(BuildTable());
  auto it = table->find(path);
  return it == table->end() ? nullptr : &it->second;
}

}  // namespace server
