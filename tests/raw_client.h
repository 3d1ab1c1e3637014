// A raw loopback connection to a test server that sends exactly the bytes a
// test writes, for requests no well-behaved HTTP client would send.
#ifndef PLEXAVO_TESTS_RAW_CLIENT_H_
#define PLEXAVO_TESTS_RAW_CLIENT_H_

#include <optional>
#include <string>
#include <utility>

namespace testing_support {

class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool Send(const std::string& bytes);
  // Everything the server sends until it closes or `seconds` pass.
  std::string ReadAll(int seconds);
  // One answer with a Content-Length: its head and body, or nullopt when
  // the connection ended first.
  std::optional<std::pair<std::string, std::string>> ReadAnswer();

 private:
  bool Fill();

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

// The head of a POST /v1/call with the header lines `extra` (each ending in
// CR LF) and a Content-Length of `length`.
std::string CallHead(const std::string& extra, size_t length);

// The status code and the body of a raw answer; 0 and the bytes when they
// are no HTTP/1.1 answer.
std::pair<int, std::string> StatusAndBody(const std::string& answer);

// The body of a chunked answer: what follows its head, chunks joined.
std::string ChunkedBody(const std::string& answer);

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_RAW_CLIENT_H_
