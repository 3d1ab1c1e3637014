// The network side of the server: one event-loop thread that accepts
// connections and reads request heads and bodies without blocking, and a
// fixed pool of worker threads that run complete requests.
//
// A connection costs a worker only while its request runs: slow, idle and
// half-open connections wait in the loop, so health checks and the calls of
// other clients never queue behind them. The loop answers what needs no
// worker at once (health, malformed heads, refusals decided from the head)
// and may have a request admitted by a worker from its head alone before
// any of its body is read. Bodies are read only up to a declared length
// within the limit. When the server stops, requests that wait for a worker
// are answered 503 with Retry-After; requests that run are run to the end.
#ifndef PLEXAVO_SERVER_HTTP_FRONT_H_
#define PLEXAVO_SERVER_HTTP_FRONT_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "server/http_head.h"

namespace server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A complete answer held in memory (small ones: refusals, health).
struct SimpleAnswer {
  int status = 200;
  std::string body;  // JSON text, unless content_type says otherwise
  HeaderList headers;
  std::string content_type = "application/json";
};

// Reads and writes one connection's bytes: plain TCP or TLS.
class Stream {
 public:
  enum class Io { kDone, kWantRead, kWantWrite, kClosed, kFailed };
  virtual ~Stream() = default;
  int fd() const { return fd_; }
  // Advances the connection's handshake without blocking (kDone when there
  // is none or it is complete).
  virtual Io Handshake() { return Io::kDone; }
  // Reads what is available without blocking: the count of bytes read (> 0),
  // or 0 with `io` telling why nothing was read.
  virtual size_t ReadSome(char* buf, size_t size, Io& io) = 0;
  // Writes what the socket takes without blocking: the count of bytes
  // written, or 0 with `io` telling why none were.
  virtual size_t WriteSome(const char* data, size_t size, Io& io) = 0;
  // Writes every byte, waiting for the socket at most `timeout_ms` at a time.
  bool WriteAll(std::string_view data, int timeout_ms);
  // Whatever the stream still holds that was read from the socket but not
  // yet handed out (TLS records).
  virtual bool HasBuffered() const { return false; }

 protected:
  explicit Stream(int fd) : fd_(fd) {}
  int fd_;
};

// Writes one answer: in one piece with Content-Length when it is small, as
// chunks (Transfer-Encoding: chunked) once it outgrows the buffer, so that a
// large answer never has to be held whole.
class ResponseWriter {
 public:
  ResponseWriter(Stream& stream, const RequestHead& head, int timeout_ms);
  void Start(int status, HeaderList headers = {});
  void Write(std::string_view data);
  // Sends what is buffered and ends the answer; false when the connection
  // failed at any point.
  bool Finish();
  // Gives up the answer: nothing more is sent, and the connection is closed
  // without the answer's end.
  void Abort() { failed_ = true; }
  bool failed() const { return failed_; }
  bool keep_alive() const { return keep_alive_ && !failed_; }

 private:
  void Flush(bool last);
  std::string HeadText(std::optional<size_t> content_length) const;

  Stream& stream_;
  int timeout_ms_;
  int minor_version_;
  bool keep_alive_;
  int status_ = 200;
  HeaderList headers_;
  std::string buffer_;
  bool head_sent_ = false;
  bool failed_ = false;
};

struct FrontOptions {
  std::string host = "127.0.0.1";
  int port = 0;
  int threads = 8;
  size_t max_body_bytes = 4 * 1024 * 1024;
  int read_timeout_s = 30;        // a head must arrive, and a body progress, within this
  int write_timeout_s = 30;       // a write may wait at most this long for the client
  int keep_alive_timeout_s = 60;  // an idle kept-alive connection is closed after this
  size_t max_connections = 2000;
  size_t max_queued = 1000;  // requests waiting for a worker before 503
  int retry_after_s = 5;
  // Wraps an accepted socket (plain by default; TLS when configured).
  std::function<std::unique_ptr<Stream>(int fd)> make_stream;
};

// What the server above makes of a request.
struct FrontRoutes {
  // On the loop thread, without blocking: an answer decided from the head
  // alone, or nullopt when the request needs a worker.
  std::function<std::optional<SimpleAnswer>(const RequestHead&)> early;
  // Whether the request is to be admitted by `admit` before its body is read.
  std::function<bool(const RequestHead&)> needs_admission;
  // On a worker: a refusal, or nullopt with `grant` set to what the handler
  // is to be told (for instance the caller's login).
  std::function<std::optional<SimpleAnswer>(const RequestHead&, std::string& grant)> admit;
  // On a worker, with the complete body.
  std::function<void(const RequestHead&, std::string& body, const std::string& grant,
                     ResponseWriter&)>
      handle;
  // Told of every answer the front gives by itself (head errors, timeouts
  // answered 408, 503 when stopping or overloaded).
  std::function<void(const RequestHead*, const SimpleAnswer&)> refused;
};

class HttpFront {
 public:
  HttpFront(FrontOptions options, FrontRoutes routes);
  ~HttpFront();  // stops and waits
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Binds and listens, then runs the loop and the workers on their own
  // threads.
  base::Status Start();
  int port() const;
  // Stops accepting; safe from any thread, more than once.
  void Stop();
  // Waits until the loop and every worker have finished.
  void Wait();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The JSON error body {"error": TEXT}.
std::string ErrorBody(const std::string& text);
SimpleAnswer ErrorAnswer(int status, const std::string& text);

}  // namespace server

#endif  // PLEXAVO_SERVER_HTTP_FRONT_H_
