// A raw loopback connection to a test server that sends exactly the bytes a
// test writes, for requests no well-behaved HTTP client would send.
#ifndef PLEXAVO_TESTS_RAW_CLIENT_H_
#define PLEXAVO_TESTS_RAW_CLIENT_H_

#include <string>

namespace testing_support {

// One answer of the server: its status code (0 when the connection ended
// before a whole answer came), head and body.
struct RawAnswer {
  int status = 0;
  std::string head;
  std::string body;
};

class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool Send(const std::string& bytes);
  // The next answer with a Content-Length.
  RawAnswer ReadAnswer();

 private:
  bool Fill();

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

// The head of a POST /v1/call with the header lines `extra` (each ending in
// CR LF) and a Content-Length of `length`.
std::string CallHead(const std::string& extra, size_t length);

// The body of a chunked answer: what follows its head, chunks joined.
std::string ChunkedBody(const std::string& answer);

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_RAW_CLIENT_H_
