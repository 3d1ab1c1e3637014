// The head of one HTTP/1.x request (request line and header lines), read
// strictly: whatever a proxy in front of the server could read differently
// from the server itself is refused instead of guessed at.
//
// Refused with 400: a malformed request line or header line, a NUL or a bare
// CR anywhere, a header line folded onto the one before it (starting with a
// blank), blanks between a header name and its colon, a Content-Length that
// is not plain decimal digits (negative, signed, empty, or longer than 18
// digits), two Content-Length headers that differ, any Transfer-Encoding, a
// Content-Encoding other than "identity", and an HTTP version other than
// 1.0 and 1.1. Refused with 431: a head over the size or header-count limit.
#ifndef PLEXAVO_SERVER_HTTP_HEAD_H_
#define PLEXAVO_SERVER_HTTP_HEAD_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace server {

inline constexpr size_t kMaxHeadBytes = 16 * 1024;
inline constexpr size_t kMaxHeaderLines = 100;

struct RequestHead {
  std::string method;
  std::string target;  // as sent: path and query
  std::string path;    // target without its query
  int minor_version = 1;
  // Header names in lower case, values without surrounding blanks, in the
  // order received.
  std::vector<std::pair<std::string, std::string>> headers;
  uint64_t content_length = 0;
  bool keep_alive = true;
  bool expect_continue = false;

  // The first value of header `lower_name`, if any.
  std::optional<std::string> Header(std::string_view lower_name) const;
};

struct HeadError {
  int status = 400;
  std::string text;
};

// Where the head in `bytes` ends: the offset just past its empty line, or
// npos while the head is incomplete.
size_t HeadEnd(std::string_view bytes);

// Parses a complete head (the bytes up to and including its empty line).
// Exactly one of the two results is set.
struct HeadParse {
  std::optional<RequestHead> head;
  std::optional<HeadError> error;
};
HeadParse ParseRequestHead(std::string_view head);

}  // namespace server

#endif  // PLEXAVO_SERVER_HTTP_HEAD_H_
