#include "server/http_head.h"

#include "base/ascii.h"

namespace server {
namespace {

HeadParse Refuse(int status, std::string text) { return {std::nullopt, HeadError{status, text}}; }

bool IsTokenChar(unsigned char c) {
  if (c >= '0' && c <= '9') return true;
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

std::string Lower(std::string_view s) { return base::AsciiLower(std::string(s)); }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

// Splits the head into its lines; every line must end in CR LF.
bool SplitLines(std::string_view head, std::vector<std::string_view>& lines) {
  while (!head.empty()) {
    size_t lf = head.find('\n');
    if (lf == std::string_view::npos || lf == 0 || head[lf - 1] != '\r') return false;
    lines.push_back(head.substr(0, lf - 1));
    head.remove_prefix(lf + 1);
  }
  return true;
}

std::optional<HeadError> ParseRequestLine(std::string_view line, RequestHead& out) {
  size_t sp1 = line.find(' ');
  size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
    return HeadError{400, "malformed request line"};
  }
  std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string_view version = line.substr(sp2 + 1);
  if (!IsToken(method)) return HeadError{400, "malformed request method"};
  if (target.empty() || target.front() != '/') {
    return HeadError{400, "the request target must be a path"};
  }
  for (unsigned char c : target) {
    if (c <= 0x20 || c >= 0x7f) return HeadError{400, "malformed request target"};
  }
  if (version == "HTTP/1.1") {
    out.minor_version = 1;
  } else if (version == "HTTP/1.0") {
    out.minor_version = 0;
  } else {
    return HeadError{400, "only HTTP/1.0 and HTTP/1.1 are served"};
  }
  out.method = std::string(method);
  out.target = std::string(target);
  out.path = std::string(target.substr(0, target.find('?')));
  out.keep_alive = out.minor_version == 1;
  return std::nullopt;
}

// Plain decimal digits, at most 18 of them (so the value fits in 63 bits).
std::optional<uint64_t> ContentLengthValue(std::string_view v) {
  if (v.empty() || v.size() > 18) return std::nullopt;
  uint64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return n;
}

// Applies one header that the server interprets itself.
std::optional<HeadError> ApplyHeader(const std::string& name, std::string_view value,
                                     bool& seen_length, RequestHead& out) {
  if (name == "content-length") {
    auto n = ContentLengthValue(value);
    if (!n) return HeadError{400, "Content-Length must be a decimal number of at most 18 digits"};
    if (seen_length && *n != out.content_length) {
      return HeadError{400, "two different Content-Length headers"};
    }
    seen_length = true;
    out.content_length = *n;
  } else if (name == "transfer-encoding") {
    return HeadError{400, "Transfer-Encoding is not accepted; send the body with Content-Length"};
  } else if (name == "content-encoding") {
    if (!EqualsNoCase(value, "identity")) {
      return HeadError{400, "Content-Encoding '" + std::string(value) + "' is not accepted"};
    }
  } else if (name == "connection") {
    std::string v = Lower(value);
    if (v.find("close") != std::string::npos) out.keep_alive = false;
    if (v.find("keep-alive") != std::string::npos && out.minor_version == 0) out.keep_alive = true;
  } else if (name == "expect") {
    if (!EqualsNoCase(value, "100-continue")) {
      return HeadError{400, "only \"Expect: 100-continue\" is understood"};
    }
    out.expect_continue = out.minor_version == 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> RequestHead::Header(std::string_view lower_name) const {
  for (const auto& [name, value] : headers) {
    if (name == lower_name) return value;
  }
  return std::nullopt;
}

size_t HeadEnd(std::string_view bytes) {
  for (size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1)) {
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

HeadParse ParseRequestHead(std::string_view head) {
  if (head.size() > kMaxHeadBytes) return Refuse(431, "the request head is too large");
  if (head.find('\0') != std::string_view::npos) {
    return Refuse(400, "the request head contains a NUL byte");
  }
  std::vector<std::string_view> lines;
  if (!SplitLines(head, lines) || lines.size() < 2 || !lines.back().empty()) {
    return Refuse(400, "every line of the request head must end in CR LF");
  }
  lines.pop_back();
  if (lines.size() - 1 > kMaxHeaderLines) return Refuse(431, "the request has too many headers");
  RequestHead out;
  if (auto e = ParseRequestLine(lines[0], out)) return {std::nullopt, e};
  bool seen_length = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.find('\r') != std::string_view::npos) {
      return Refuse(400, "the request head contains a bare CR");
    }
    if (line.front() == ' ' || line.front() == '\t') {
      return Refuse(400, "folded header lines are not accepted");
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      return Refuse(400, "malformed header line");
    }
    std::string name = Lower(line.substr(0, colon));
    std::string_view value = TrimBlanks(line.substr(colon + 1));
    for (unsigned char c : value) {
      if ((c < 0x20 && c != '\t') || c == 0x7f) {
        return Refuse(400, "a header value contains a control character");
      }
    }
    if (auto e = ApplyHeader(name, value, seen_length, out)) return {std::nullopt, e};
    out.headers.emplace_back(std::move(name), std::string(value));
  }
  return {std::move(out), std::nullopt};
}

}  // namespace server
