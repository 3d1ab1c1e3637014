#include "server/http_front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "server/json_values.h"

namespace server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkBytes = 64 * 1024;
constexpr size_t kReadBudgetPerEvent = 1024 * 1024;  // fairness between connections
constexpr size_t kMaxDrainBytes = 64 * 1024 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr uint64_t kListenId = 0;
constexpr uint64_t kWakeId = 1;

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 422:
      return "Unprocessable Content";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

// A plain TCP connection.
class PlainStream : public Stream {
 public:
  explicit PlainStream(int fd) : Stream(fd) {}
  ~PlainStream() override { ::close(fd_); }

  size_t ReadSome(char* buf, size_t size, Io& io) override {
    for (;;) {
      ssize_t n = ::recv(fd_, buf, size, 0);
      if (n > 0) {
        io = Io::kDone;
        return static_cast<size_t>(n);
      }
      if (n == 0) {
        io = Io::kClosed;
      } else if (errno == EINTR) {
        continue;
      } else {
        io = errno == EAGAIN || errno == EWOULDBLOCK ? Io::kWantRead : Io::kFailed;
      }
      return 0;
    }
  }

  size_t WriteSome(const char* data, size_t size, Io& io) override {
    for (;;) {
      ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
      if (n > 0) {
        io = Io::kDone;
        return static_cast<size_t>(n);
      }
      if (n < 0 && errno == EINTR) continue;
      io = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Io::kWantWrite : Io::kFailed;
      return 0;
    }
  }
};

std::string HexCount(size_t n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%zx", n);
  return buf;
}

// The bytes of a small answer with its head.
std::string AnswerText(const SimpleAnswer& a, bool keep_alive) {
  std::string out = "HTTP/1.1 " + std::to_string(a.status) + " " + ReasonPhrase(a.status) +
                    "\r\nContent-Type: " + a.content_type +
                    "\r\nContent-Length: " + std::to_string(a.body.size()) +
                    (keep_alive ? "\r\nConnection: keep-alive\r\n" : "\r\nConnection: close\r\n");
  for (const auto& [name, value] : a.headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  out += a.body;
  return out;
}

struct Task {
  std::function<void()> run;     // the work
  std::function<void()> refuse;  // instead of the work, once the server stops
};

// A fixed set of threads taking tasks in arrival order.
class WorkerPool {
 public:
  void Start(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  void Submit(Task task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(task));
    }
    cv_.notify_one();
  }
  size_t Queued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }
  // From now on no task is run; those still queued are handed back to be
  // refused by the caller (the workers may all be busy).
  std::deque<Task> Stop() {
    std::deque<Task> queued;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queued.swap(queue_);
    }
    cv_.notify_all();
    return queued;
  }
  void Join() {
    for (Task& t : Stop()) t.refuse();
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
    threads_.clear();
  }

 private:
  void Work() {
    for (;;) {
      Task task;
      bool refuse = false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        task = std::move(queue_.front());
        queue_.pop_front();
        refuse = stopping_;
      }
      if (refuse) {
        task.refuse();
      } else {
        task.run();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Task> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

bool Stream::WriteAll(std::string_view data, int timeout_ms) {
  while (!data.empty()) {
    Io io;
    size_t n = WriteSome(data.data(), data.size(), io);
    if (n > 0) {
      data.remove_prefix(n);
      continue;
    }
    if (io != Io::kWantWrite && io != Io::kWantRead) return false;
    pollfd p{fd_, static_cast<short>(io == Io::kWantWrite ? POLLOUT : POLLIN), 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return false;
  }
  return true;
}

std::string ErrorBody(const std::string& text) { return Dump(Json{{"error", text}}); }

SimpleAnswer ErrorAnswer(int status, const std::string& text) {
  return {status, ErrorBody(text), {}};
}

// ---------------------------------------------------------------------------
// ResponseWriter

ResponseWriter::ResponseWriter(Stream& stream, const RequestHead& head, int timeout_ms)
    : stream_(stream),
      timeout_ms_(timeout_ms),
      minor_version_(head.minor_version),
      keep_alive_(head.keep_alive) {}

void ResponseWriter::Start(int status, HeaderList headers) {
  status_ = status;
  headers_ = std::move(headers);
}

std::string ResponseWriter::HeadText(std::optional<size_t> content_length) const {
  std::string out = "HTTP/1.1 " + std::to_string(status_) + " " + ReasonPhrase(status_) +
                    "\r\nContent-Type: application/json\r\n";
  if (content_length) {
    out += "Content-Length: " + std::to_string(*content_length) + "\r\n";
  } else if (minor_version_ == 1) {
    out += "Transfer-Encoding: chunked\r\n";
  }
  out += keep_alive_ ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  for (const auto& [name, value] : headers_) out += name + ": " + value + "\r\n";
  out += "\r\n";
  return out;
}

void ResponseWriter::Write(std::string_view data) {
  if (failed_) return;
  buffer_.append(data);
  if (buffer_.size() >= kChunkBytes) Flush(false);
}

void ResponseWriter::Flush(bool last) {
  if (failed_) return;
  if (!head_sent_) {
    // An HTTP/1.0 client cannot take chunks: the answer ends with the
    // connection instead.
    if (minor_version_ == 0) keep_alive_ = false;
    failed_ = !stream_.WriteAll(HeadText(std::nullopt), timeout_ms_);
    head_sent_ = true;
  }
  std::string out;
  if (minor_version_ == 1) {
    if (!buffer_.empty()) out = HexCount(buffer_.size()) + "\r\n" + buffer_ + "\r\n";
    if (last) out += "0\r\n\r\n";
  } else {
    out = std::move(buffer_);
  }
  buffer_.clear();
  if (!failed_ && !out.empty()) failed_ = !stream_.WriteAll(out, timeout_ms_);
}

bool ResponseWriter::Finish() {
  if (failed_) return false;
  if (!head_sent_) {
    std::string out = HeadText(buffer_.size());
    out += buffer_;
    buffer_.clear();
    head_sent_ = true;
    failed_ = !stream_.WriteAll(out, timeout_ms_);
  } else {
    Flush(true);
  }
  return !failed_;
}

// ---------------------------------------------------------------------------
// The loop

struct HttpFront::Impl {
  enum class State { kHandshake, kHead, kAdmitting, kBody, kBusy, kWriting, kDraining };

  struct Conn {
    uint64_t id = 0;
    std::unique_ptr<Stream> stream;
    State state = State::kHandshake;
    std::string in;
    RequestHead head;
    std::string grant;
    std::string out;
    bool keep_after_out = false;
    bool head_started = false;
    bool peer_closed = false;
    uint32_t interest = 0;
    bool in_epoll = false;
    size_t drained = 0;
    Clock::time_point deadline;
  };

  Impl(FrontOptions o, FrontRoutes r) : options(std::move(o)), routes(std::move(r)) {
    if (!options.make_stream) {
      options.make_stream = [](int fd) { return std::make_unique<PlainStream>(fd); };
    }
  }

  ~Impl() {
    if (listen_fd >= 0) ::close(listen_fd);
    if (wake_fd >= 0) ::close(wake_fd);
    if (epoll_fd >= 0) ::close(epoll_fd);
  }

  // --- set-up -------------------------------------------------------------

  base::Status Bind() {
    auto bad = [](const std::string& text) {
      return base::MakeErr(base::kErrInvalidArgument, text, "Plexavo.Server");
    };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port_text = std::to_string(options.port);
    if (::getaddrinfo(options.host.empty() ? nullptr : options.host.c_str(), port_text.c_str(),
                      &hints, &found) != 0 ||
        found == nullptr) {
      return bad("cannot listen on " + options.host + ":" + port_text + ": unknown host");
    }
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
      fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 1024) != 0) {
        ::close(fd);
        fd = -1;
      }
    }
    ::freeaddrinfo(found);
    if (fd < 0) return bad("cannot listen on " + options.host + ":" + port_text);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listen_fd = fd;
    epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epoll_fd < 0 || wake_fd < 0) return bad("cannot create the server's event loop");
    AddFd(listen_fd, kListenId, EPOLLIN);
    AddFd(wake_fd, kWakeId, EPOLLIN);
    return base::OkStatus();
  }

  void AddFd(int fd, uint64_t id, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = id;
    ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &ev);
  }

  // --- cross-thread -------------------------------------------------------

  // Runs `fn` on the loop thread.
  void Post(std::function<void()> fn) {
    {
      std::lock_guard<std::mutex> lock(posted_mutex);
      posted.push_back(std::move(fn));
    }
    Wake();
  }

  void Wake() {
    uint64_t one = 1;
    ssize_t ignored = ::write(wake_fd, &one, sizeof one);
    (void)ignored;
  }

  void RunPosted() {
    uint64_t count;
    while (::read(wake_fd, &count, sizeof count) > 0) {
    }
    std::vector<std::function<void()>> batch;
    {
      std::lock_guard<std::mutex> lock(posted_mutex);
      batch.swap(posted);
    }
    for (auto& fn : batch) fn();
  }

  // --- the loop -----------------------------------------------------------

  void Run() {
    std::vector<epoll_event> events(256);
    for (;;) {
      int n = ::epoll_wait(epoll_fd, events.data(), static_cast<int>(events.size()), 200);
      for (int i = 0; i < n; ++i) {
        uint64_t id = events[i].data.u64;
        if (id == kListenId) {
          AcceptAll();
        } else if (id == kWakeId) {
          RunPosted();
        } else {
          auto it = conns.find(id);
          if (it != conns.end()) OnEvent(*it->second, events[i].events);
        }
      }
      RunPosted();
      if (stop_requested && !stopping) BeginStop();
      Sweep();
      if (stopping && outstanding == 0 && !AnyLoopWrites()) break;
    }
    std::vector<uint64_t> ids;
    for (auto& [id, c] : conns) ids.push_back(id);
    for (uint64_t id : ids) Close(id);
  }

  void AcceptAll() {
    for (;;) {
      int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;  // EAGAIN, or out of descriptors: try again on the next event
      }
      if (conns.size() >= options.max_connections || stopping) {
        ::close(fd);
        continue;
      }
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Conn>();
      c->id = next_id++;
      c->stream = options.make_stream(fd);
      c->deadline = Clock::now() + std::chrono::seconds(options.read_timeout_s);
      Conn& conn = *c;
      conns.emplace(conn.id, std::move(c));
      SetInterest(conn, EPOLLIN);
      Handshake(conn);
    }
  }

  void SetInterest(Conn& c, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    if (events == 0) {
      if (c.in_epoll) ::epoll_ctl(epoll_fd, EPOLL_CTL_DEL, c.stream->fd(), &ev);
      c.in_epoll = false;
    } else if (!c.in_epoll) {
      ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, c.stream->fd(), &ev);
      c.in_epoll = true;
    } else if (c.interest != events) {
      ::epoll_ctl(epoll_fd, EPOLL_CTL_MOD, c.stream->fd(), &ev);
    }
    c.interest = events;
  }

  void Close(uint64_t id) {
    auto it = conns.find(id);
    if (it == conns.end()) return;
    SetInterest(*it->second, 0);
    conns.erase(it);  // the stream closes its socket
  }

  void OnEvent(Conn& c, uint32_t events) {
    if (events & EPOLLERR) return Close(c.id);
    switch (c.state) {
      case State::kHandshake:
        return Handshake(c);
      case State::kWriting:
        return FlushOut(c);
      case State::kHead:
      case State::kBody:
      case State::kDraining:
        if (!ReadIn(c)) return Close(c.id);
        return Advance(c);
      case State::kAdmitting:
      case State::kBusy:
        // Not watched for input; a hang-up is seen when the request ends.
        return;
    }
  }

  void Handshake(Conn& c) {
    switch (c.stream->Handshake()) {
      case Stream::Io::kDone:
        EnterHead(c, Clock::now() + std::chrono::seconds(options.read_timeout_s));
        // The request may have come with the end of the handshake.
        if (!ReadIn(c)) return Close(c.id);
        return Advance(c);
      case Stream::Io::kWantRead:
        return SetInterest(c, EPOLLIN);
      case Stream::Io::kWantWrite:
        return SetInterest(c, EPOLLOUT);
      default:
        return Close(c.id);
    }
  }

  void EnterHead(Conn& c, Clock::time_point deadline) {
    c.state = State::kHead;
    c.head = RequestHead();
    c.grant.clear();
    c.head_started = false;
    c.deadline = deadline;
    SetInterest(c, EPOLLIN);
  }

  // Reads what is there; false when the connection failed.
  bool ReadIn(Conn& c) {
    char buf[16 * 1024];
    size_t total = 0;
    // Bytes a TLS stream already decrypted are taken whatever the budget:
    // the socket will not signal them again.
    while (total < kReadBudgetPerEvent || c.stream->HasBuffered()) {
      Stream::Io io;
      size_t n = c.stream->ReadSome(buf, sizeof buf, io);
      if (n == 0) {
        if (io == Stream::Io::kClosed) c.peer_closed = true;
        return io != Stream::Io::kFailed;
      }
      total += n;
      if (c.state == State::kDraining) {
        c.drained += n;
        if (c.drained > kMaxDrainBytes) return false;
      } else {
        c.in.append(buf, n);
        // Never more than one head or one body ahead.
        if (c.state == State::kHead && c.in.size() > kMaxHeadBytes + 4) break;
        if (c.state == State::kBody && c.in.size() >= c.head.content_length) break;
      }
    }
    return true;
  }

  void Advance(Conn& c) {
    if (c.state == State::kDraining) {
      if (c.peer_closed) Close(c.id);
      return;
    }
    if (c.state == State::kHead) return ReadHead(c);
    if (c.state == State::kBody) return ReadBody(c);
  }

  void ReadHead(Conn& c) {
    // Blank lines between requests are ignored.
    size_t skip = 0;
    while (skip + 1 < c.in.size() && c.in[skip] == '\r' && c.in[skip + 1] == '\n') skip += 2;
    if (skip > 0) c.in.erase(0, skip);
    if (!c.in.empty() && !c.head_started) {
      // The whole head must arrive within the read timeout from its first byte.
      c.head_started = true;
      c.deadline = Clock::now() + std::chrono::seconds(options.read_timeout_s);
    }
    size_t end = HeadEnd(c.in);
    if (end == std::string::npos) {
      if (c.in.size() > kMaxHeadBytes) {
        return Refuse(c, nullptr, ErrorAnswer(431, "the request head is too large"));
      }
      if (c.peer_closed) Close(c.id);
      return;
    }
    HeadParse parsed = ParseRequestHead(std::string_view(c.in).substr(0, end));
    c.in.erase(0, end);
    if (parsed.error) {
      return Refuse(c, nullptr, ErrorAnswer(parsed.error->status, parsed.error->text));
    }
    c.head = std::move(*parsed.head);
    if (c.peer_closed) c.head.keep_alive = false;
    if (auto answer = routes.early(c.head)) {
      // A body that is not read ends the connection.
      const bool keep = c.head.keep_alive && c.head.content_length == 0 && !stopping;
      return SendFromLoop(c, *answer, keep);
    }
    if (stopping) return Refuse(c, &c.head, Unavailable());
    if (routes.needs_admission && routes.needs_admission(c.head)) {
      c.state = State::kAdmitting;
      SetInterest(c, 0);
      RequestHead head = c.head;
      const uint64_t id = c.id;
      ++outstanding;
      pool.Submit(Task{[this, id, head] {
                         std::string grant;
                         std::optional<SimpleAnswer> refusal = routes.admit(head, grant);
                         Post([this, id, refusal, grant] { Admitted(id, refusal, grant); });
                       },
                       [this, id] { Post([this, id] { Admitted(id, Unavailable(), ""); }); }});
      return;
    }
    StartBody(c);
  }

  void Admitted(uint64_t id, const std::optional<SimpleAnswer>& refusal, const std::string& grant) {
    --outstanding;
    auto it = conns.find(id);
    if (it == conns.end()) return;
    Conn& c = *it->second;
    if (refusal) return SendFromLoop(c, *refusal, false);
    if (stopping) return Refuse(c, &c.head, Unavailable());
    c.grant = grant;
    StartBody(c);
  }

  void StartBody(Conn& c) {
    c.state = State::kBody;
    c.deadline = Clock::now() + std::chrono::seconds(options.read_timeout_s);
    SetInterest(c, EPOLLIN);
    if (c.head.expect_continue && c.in.size() < c.head.content_length) {
      (void)c.stream->WriteAll("HTTP/1.1 100 Continue\r\n\r\n", 100);
    }
    // A TLS stream may hold body bytes that the socket no longer signals.
    if (c.stream->HasBuffered() && !ReadIn(c)) return Close(c.id);
    ReadBody(c);
  }

  void ReadBody(Conn& c) {
    if (c.in.size() < c.head.content_length) {
      if (c.peer_closed) return Close(c.id);
      c.deadline = Clock::now() + std::chrono::seconds(options.read_timeout_s);
      return;
    }
    if (stopping || pool.Queued() >= options.max_queued) {
      return Refuse(c, &c.head, Unavailable());
    }
    const size_t length = static_cast<size_t>(c.head.content_length);
    auto body = std::make_shared<std::string>(c.in.substr(0, length));
    c.in.erase(0, length);
    c.state = State::kBusy;
    SetInterest(c, 0);
    Conn* conn = &c;
    const uint64_t id = c.id;
    const int timeout_ms = options.write_timeout_s * 1000;
    ++outstanding;
    pool.Submit(Task{[this, conn, id, body, timeout_ms] {
                       ResponseWriter writer(*conn->stream, conn->head, timeout_ms);
                       routes.handle(conn->head, *body, conn->grant, writer);
                       const bool keep = writer.Finish() && writer.keep_alive();
                       body->clear();
                       Post([this, id, keep] { CallDone(id, keep); });
                     },
                     [this, conn, id, timeout_ms] {
                       SimpleAnswer a = Unavailable();
                       if (routes.refused) routes.refused(&conn->head, a);
                       (void)conn->stream->WriteAll(AnswerText(a, false), timeout_ms);
                       Post([this, id] { CallDone(id, false); });
                     }});
  }

  void CallDone(uint64_t id, bool keep) {
    --outstanding;
    auto it = conns.find(id);
    if (it == conns.end()) return;
    Conn& c = *it->second;
    if (!keep || stopping || c.peer_closed) return Close(id);
    EnterHead(c, Clock::now() + std::chrono::seconds(options.keep_alive_timeout_s));
    // The next request may already be here (pipelined or buffered by TLS).
    if (c.stream->HasBuffered() && !ReadIn(c)) return Close(id);
    ReadHead(c);
  }

  SimpleAnswer Unavailable() const {
    SimpleAnswer a = ErrorAnswer(503, "the server is stopping or overloaded; try again later");
    a.headers.emplace_back("Retry-After", std::to_string(options.retry_after_s));
    return a;
  }

  // An answer the front gives by itself; the connection ends after it.
  void Refuse(Conn& c, const RequestHead* head, const SimpleAnswer& a) {
    if (routes.refused) routes.refused(head, a);
    SendFromLoop(c, a, false);
  }

  // Queues a small answer on the loop; then either the next request or a
  // lingering close (the client may still be sending a body nobody reads).
  void SendFromLoop(Conn& c, const SimpleAnswer& a, bool keep) {
    c.out = AnswerText(a, keep);
    c.keep_after_out = keep;
    c.state = State::kWriting;
    c.deadline = Clock::now() + std::chrono::seconds(options.write_timeout_s);
    FlushOut(c);
  }

  void FlushOut(Conn& c) {
    // Non-blocking: one attempt now, the rest when the socket is writable.
    while (!c.out.empty()) {
      Stream::Io io;
      size_t n = c.stream->WriteSome(c.out.data(), c.out.size(), io);
      if (n > 0) {
        c.out.erase(0, n);
        continue;
      }
      if (io == Stream::Io::kWantWrite) return SetInterest(c, EPOLLOUT);
      if (io == Stream::Io::kWantRead) return SetInterest(c, EPOLLIN);
      return Close(c.id);
    }
    if (c.keep_after_out) {
      EnterHead(c, Clock::now() + std::chrono::seconds(options.keep_alive_timeout_s));
      return ReadHead(c);
    }
    ::shutdown(c.stream->fd(), SHUT_WR);
    c.state = State::kDraining;
    c.in.clear();
    c.deadline = Clock::now() + kDrainTime;
    SetInterest(c, EPOLLIN);
    if (c.peer_closed) Close(c.id);
  }

  bool AnyLoopWrites() const {
    for (const auto& [id, c] : conns) {
      if (c->state == State::kWriting) return true;
    }
    return false;
  }

  void Sweep() {
    const auto now = Clock::now();
    std::vector<uint64_t> late;
    for (const auto& [id, c] : conns) {
      if (c->state != State::kBusy && c->state != State::kAdmitting && c->deadline <= now) {
        late.push_back(id);
      }
    }
    for (uint64_t id : late) {
      Conn& c = *conns.at(id);
      const bool mid_request =
          (c.state == State::kHead && c.head_started) || c.state == State::kBody;
      if (mid_request) {
        Refuse(c, c.state == State::kBody ? &c.head : nullptr,
               ErrorAnswer(408, "the request did not arrive in time"));
      } else {
        Close(id);
      }
    }
  }

  void BeginStop() {
    stopping = true;
    ::epoll_ctl(epoll_fd, EPOLL_CTL_DEL, listen_fd, nullptr);
    ::close(listen_fd);
    listen_fd = -1;
    for (Task& t : pool.Stop()) t.refuse();
    std::vector<uint64_t> ids;
    for (const auto& [id, c] : conns) ids.push_back(id);
    for (uint64_t id : ids) {
      Conn& c = *conns.at(id);
      if (c.state == State::kBody) {
        Refuse(c, &c.head, Unavailable());
      } else if (c.state == State::kHead || c.state == State::kHandshake) {
        Close(id);
      } else if (c.state == State::kDraining) {
        c.deadline = std::min(c.deadline, Clock::now() + std::chrono::milliseconds(200));
      }
    }
  }

  FrontOptions options;
  FrontRoutes routes;
  WorkerPool pool;
  int listen_fd = -1;
  int epoll_fd = -1;
  int wake_fd = -1;
  int port = 0;
  std::unordered_map<uint64_t, std::unique_ptr<Conn>> conns;
  uint64_t next_id = 2;
  size_t outstanding = 0;  // tasks submitted whose completion has not run yet
  bool stopping = false;
  std::atomic<bool> stop_requested{false};
  std::mutex posted_mutex;
  std::vector<std::function<void()>> posted;
  std::thread loop;
  std::mutex wait_mutex;
};

HttpFront::HttpFront(FrontOptions options, FrontRoutes routes)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(routes))) {}

HttpFront::~HttpFront() {
  Stop();
  Wait();
}

base::Status HttpFront::Start() {
  PLX_RETURN_IF_ERROR(impl_->Bind());
  impl_->pool.Start(impl_->options.threads);
  impl_->loop = std::thread([this] { impl_->Run(); });
  return base::OkStatus();
}

int HttpFront::port() const { return impl_->port; }

void HttpFront::Stop() {
  impl_->stop_requested = true;
  if (impl_->wake_fd >= 0) impl_->Wake();
}

void HttpFront::Wait() {
  std::lock_guard<std::mutex> lock(impl_->wait_mutex);
  if (impl_->loop.joinable()) impl_->loop.join();
  impl_->pool.Join();
}

}  // namespace server
