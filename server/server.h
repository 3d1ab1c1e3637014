// The HTTP/JSON server: hosts the component's classes for remote callers.
//
//   POST /v1/call        {"progid": P, "method": NAME | "dispid": "6003001D",
//                         "args": {PARAM: VALUE, ...}}   (every parameter by name)
//     200 {"result": R, "byref": {PARAM: VALUE, ...}}     final in/out values
//     400 malformed JSON, unknown progid / method / dispid, missing, unknown
//         or wrongly typed argument
//     401 no "Authorization: Bearer TOKEN", or a token that is not one of the
//         company database the call names (one text whether or not that
//         database exists or can be reached)
//     409 the call's transaction could not be committed: nothing it changed
//         was kept, and the caller may send the same call again
//     413 the request body is larger than max_body_bytes (told by its
//         Content-Length, before any of it is read)
//     400 also for a request head that could be read in two ways (see
//         server/http_head.h)
//     503 with Retry-After: the server is stopping or too busy; the call
//         was not run
//     500 the host failed to create or run the object
//   GET /v1/health       200 {"status": "ok"}
//   GET /v1/interfaces   200 {"interfaces": [...]}: both operation tables
// Every error answer is {"error": TEXT}. Values use the JSON forms of
// server/json_values.h; large answers come in chunks. A large result set
// (BillList, PrintRst) is sent as its rows are read from the database, with
// the same text; should the call fail after its answer was started, the
// connection is closed without the answer's end (see
// server/streamed_answer.h).
//
// The company database may also be named in the header "Plexavo-DB: NAME".
// The token is then checked before the body is read, and the call's vstrDB
// must name the same database (400 otherwise). A call without the header
// names its database in vstrDB alone and is checked after its body is read.
// A call without a bearer token is refused from its head alone.
//
// Each call runs on a fresh object of its class, created for the login the
// token belongs to, and is released (settling its transaction) before the
// answer is sent. There is no limit on how long a call may run: a database
// statement cannot be interrupted safely from outside, so calls always run
// to the end; read_timeout_s and write_timeout_s bound only the network side.
//
// One line per call goes to the log stream (never the token):
//   2026-05-01 13:45:00 login=amy db=demo progid=Plexavo.MF_OutBill op=CheckRight ms=4 200 ok
// with "-" for what the request did not (validly) name and, after the
// status, "ok" / "false" (a Boolean result of false) or the error text.
#ifndef PLEXAVO_SERVER_SERVER_H_
#define PLEXAVO_SERVER_SERVER_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "base/result.h"
#include "boundary/idempotency.h"
#include "boundary/interfaces.h"
#include "host/object_context.h"

namespace server {

struct ServeOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port (Server::port() tells which)
  int threads = 8;  // worker threads: calls run at the same time
  size_t max_body_bytes = 4 * 1024 * 1024;
  int read_timeout_s = 30;        // for a request head, and between pieces of a body
  int write_timeout_s = 30;       // for the client to take the next piece of an answer
  int keep_alive_timeout_s = 60;  // an idle connection is closed after this
  size_t max_connections = 2000;  // open connections; more are closed at once
  // TLS: the PEM certificate chain and private key; plain HTTP when empty.
  std::string tls_cert;
  std::string tls_key;
  // A reader's result set whose JSON text outgrows this is answered as its
  // rows are read instead of being held whole (server/streamed_answer.h).
  size_t stream_hold_bytes = 256 * 1024;
  // How long the answer of a writer call is kept under its Idempotency-Key.
  // ($PLEXAVO_IDEMPOTENCY_EXPIRY_S seconds, by default 24 hours).
  int64_t idempotency_expiry_s = boundary::IdempotencyExpirySeconds();
  // Registers the classes the server hosts; by default the component's
  // classes and the outside services (boundary::RegisterAll).
  std::function<void(host::ClassTable&)> register_classes;
};

class Server {
 public:
  Server(ServeOptions options, std::ostream& log);
  ~Server();  // stops and waits
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the socket and starts serving on a thread of its own; answers
  // once connections are being accepted.
  base::Status Start();
  // The bound port (after Start).
  int port() const;
  // Stops accepting; calls in flight are finished. Safe to call at any time
  // and more than once, also from another thread.
  void Stop();
  // Waits until the server has stopped and every call in flight is done.
  void Wait();

  // Writes one line to the log stream, never interleaved with the lines of
  // the request log.
  void Log(const std::string& line);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs a server until SIGINT or SIGTERM, then stops accepting, finishes the
// calls in flight and answers 0 (1 when the server could not start).
int Serve(const ServeOptions& options, std::ostream& log);

}  // namespace server

#endif  // PLEXAVO_SERVER_SERVER_H_
