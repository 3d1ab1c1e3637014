// The method frame: the one shape every public operation runs in.
//
// An operation states only what is particular to it, as a body that gets
// the Call (context, company database, error text, language, connection)
// and its result slot, and answers an Outcome. The frame does the rest, the
// same way every time:
//   - the result starts at its initial value (false, no rowset, "", 0);
//   - success: the connection is closed, the vote is SetComplete, the
//     result is answered;
//   - failure: the error text is written by the outcome's kind (Outcome),
//     the connection is closed, the vote is SetAbort, and the initial result
//     is answered;
//   - anything thrown inside the body is an unexpected failure; nothing
//     leaves the frame as an exception.
//
// Three frames build on that core:
//   RunWriter   writer operations: the writer gate's checks (WriterGate),
//               then the body;
//   RunReader   reader queries: language look-up, right check, connection,
//               then the body;
//   RunService  operations that forward one question to an outside service:
//               a failure the service reported keeps the value the body set.
#ifndef PLEXAVO_FRAME_OP_FRAME_H_
#define PLEXAVO_FRAME_OP_FRAME_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "frame/outcome.h"
#include "host/object_context.h"

namespace frame {

class Call {
 public:
  Call(host::ObjectContext& ctx, std::string method, const std::string& db, std::string& err)
      : ctx_(ctx), method_(std::move(method)), db_(db), err_(err) {}

  host::ObjectContext& ctx() { return ctx_; }
  const std::string& db() const { return db_; }
  std::string& err() { return err_; }

  // The method text that identifies the operation in composed error texts;
  // operations that report progress change it as they go.
  const std::string& method() const { return method_; }
  void set_method(std::string method) { method_ = std::move(method); }

  // The caller's language code, once looked up.
  std::string& lang() { return lang_; }

  // Appends the change of `bills` to the change feed, when the operation's
  // gate names a feed kind (WriterGate::feed_kind); the body calls it at the
  // point the change is complete.
  Outcome Changed(const std::vector<std::string>& bills);
  void set_feed_kind(const char* kind) { feed_kind_ = kind; }

  // Opens the call's connection to its company database (joining the
  // transaction when the call runs in one).
  base::Status OpenConnection();
  data::Connection& cnn() { return cnn_; }
  void Close() { cnn_.Close(); }

  // The operation's result set. Read whole into the rowset answered, or,
  // when the caller put a row sink on the context, handed to that sink row
  // by row as it is fetched; the rowset answered then holds the fields and
  // no rows.
  base::Result<base::Rowset> QueryResult(const data::Sql& sql,
                                         const std::vector<base::Field>& fields);

  // A refusal with catalogue message `id` in the caller's language.
  Outcome Refuse(int32_t id, const std::string& param = "") const;

 private:
  host::ObjectContext& ctx_;
  std::string method_;
  const std::string& db_;
  std::string& err_;
  std::string lang_;
  const char* feed_kind_ = nullptr;
  data::Connection cnn_;
};

// Writes the error text for a failed outcome, closes, votes SetAbort.
void FailureExit(Call& call, const Outcome& outcome);

// Runs a body, mapping anything it throws to an unexpected failure.
Outcome Guarded(const std::function<Outcome()>& body);

template <typename R, typename Body>
R RunOperation(host::ObjectContext& ctx, std::string method, const std::string& db,
               std::string& err, R initial, Body&& body, bool keep_result_when_reported = false) {
  Call call(ctx, std::move(method), db, err);
  R result = initial;
  Outcome outcome = Guarded([&] { return body(call, result); });
  if (outcome.ok()) {
    call.Close();
    ctx.SetComplete();
    return result;
  }
  FailureExit(call, outcome);
  if (keep_result_when_reported && outcome.kind() == Outcome::Kind::kReported) return result;
  return initial;
}

// What a writer operation checks before its body, in this order: the
// connection (when `connect_first`), the caller's language, that the call
// runs in a transaction, then `admit` (the operation's right or guard,
// which answers its own failure). A gate of its defaults checks nothing.
// Under a gate with a `feed_kind` the body's Call::Changed appends the
// change to the change feed (frame/feed.h).
struct WriterGate {
  bool connect_first = false;
  bool language = false;
  bool needs_transaction = false;
  std::function<Outcome(Call&)> admit;
  const char* feed_kind = nullptr;
};

// Runs a writer gate's checks; Ok when the body may run.
Outcome PassWriterGate(Call& call, const WriterGate& gate);

// Writer operations: true on success, false otherwise.
template <typename Body>
bool RunWriter(host::ObjectContext& ctx, std::string method, const std::string& db,
               std::string& err, const WriterGate& gate, Body&& body) {
  return RunOperation<bool>(ctx, std::move(method), db, err, false, [&](Call& call, bool& result) {
    Outcome o = PassWriterGate(call, gate);
    if (o.ok()) o = body(call);
    result = o.ok();
    return o;
  });
}

template <typename Body>
bool RunWriter(host::ObjectContext& ctx, std::string method, const std::string& db,
               std::string& err, Body&& body) {
  return RunWriter(ctx, std::move(method), db, err, WriterGate{}, std::forward<Body>(body));
}

// What a reader query checks before it opens its connection.
struct ReaderGate {
  // The class's own language look-up; absent: no look-up.
  std::function<bool(std::string& lang, const std::string& db, std::string& err)> language;
  // The right the operation needs; absent: no check.
  std::function<bool(const std::string& db)> right;
  // Catalogue message for a missing right.
  int32_t refusal = 0;
};

template <typename R, typename Body>
R RunReader(host::ObjectContext& ctx, std::string method, const std::string& db, std::string& err,
            R initial, const ReaderGate& gate, Body&& body) {
  return RunOperation<R>(ctx, std::move(method), db, err, initial, [&](Call& call, R& result) {
    if (gate.language && !gate.language(call.lang(), call.db(), call.err())) {
      return Outcome::Reported();
    }
    if (gate.right && !gate.right(call.db())) return call.Refuse(gate.refusal);
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    return body(call, result);
  });
}

// Operations that forward one question to an outside service. The body
// answers Reported when the service reported a failure; the value it set
// is kept for the caller all the same.
template <typename R, typename Body>
R RunService(host::ObjectContext& ctx, std::string method, const std::string& db, std::string& err,
             R initial, Body&& body) {
  return RunOperation<R>(ctx, std::move(method), db, err, initial, std::forward<Body>(body), true);
}

// Creates an outside service through the context (joining the caller's
// transaction) or on its own (outside it), as the requested type.
template <typename T>
base::Result<host::Instance> CreateService(host::ObjectContext& ctx, const std::string& progid,
                                           bool in_transaction, T** out) {
  auto created = in_transaction ? ctx.CreateInstance(progid) : ctx.CreateObject(progid);
  if (!created.ok()) return created.err();
  *out = created->template As<T>();
  if (*out == nullptr) {
    return base::MakeErr(base::kErrObjectCreation,
                         "ActiveX component can't create object: " + progid);
  }
  return created;
}

}  // namespace frame

#endif  // PLEXAVO_FRAME_OP_FRAME_H_
