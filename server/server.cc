#include "server/server.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "base/datetime.h"
#include "boundary/classes.h"
#include "boundary/dispatch.h"
#include "boundary/effects_json.h"
#include "boundary/idempotency.h"
#include "boundary/interfaces.h"
#include "company/company_db.h"
#include "data/connection.h"
#include "host/conflict_retry.h"
#include "host/object_context.h"
#include "server/events.h"
#include "server/http_front.h"
#include "server/http_head.h"
#include "server/json_values.h"
#include "server/metrics.h"
#include "server/openapi.h"
#include "server/streamed_answer.h"
#include "server/tls_stream.h"
#include "server/web_assets.h"
#include "tokens/token_store.h"

namespace server {
namespace {

using boundary::Direction;
using boundary::Interface;
using boundary::Operation;
using boundary::ParamType;

constexpr const char* kCallPath = "/v1/call";
constexpr std::string_view kNamedCallPrefix = "/v1/call/";

// POST /v1/call, or /v1/call/{progid}/{method}.
bool IsCallPath(std::string_view path) {
  return path == kCallPath || path.substr(0, kNamedCallPrefix.size()) == kNamedCallPrefix;
}

// The class and operation of /v1/call/{progid}/{method}; false for any
// other path.
bool NamedCall(std::string_view path, std::string& progid, std::string& method) {
  if (path.substr(0, kNamedCallPrefix.size()) != kNamedCallPrefix) return false;
  std::string_view rest = path.substr(kNamedCallPrefix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == rest.size() ||
      rest.find('/', slash + 1) != std::string_view::npos) {
    return false;
  }
  progid = std::string(rest.substr(0, slash));
  method = std::string(rest.substr(slash + 1));
  return true;
}
constexpr const char* kDbParam = "vstrDB";

constexpr const char* kDbHeader = "plexavo-db";

struct Reply {
  int status = 200;
  Json body;                                    // error answers
  std::optional<boundary::Variant> result;      // a successful call's result ...
  Json byref;                                   // ... and its final in/out values
  std::string outcome;                          // for the log: "ok", "false" or the error text
  std::optional<std::string> raw = {};          // an answer kept from before, as sent then
  std::optional<std::string> effects = {};      // a dry run's effects and problems, as JSON members
  std::optional<std::string> result_text = {};  // the result's JSON text, made as it was read
  bool sent = false;     // the answer went out while the call ran (or was cut off)
  size_t rows_read = 0;  // rows of a result set sent as they were read
};

Reply Error(int status, const std::string& text) {
  return {status, Json{{"error", text}}, std::nullopt, Json(), text};
}

// The one refusal of a token, whether or not the database exists: callers
// cannot tell company names apart by it.
std::string TokenRefusal(const std::string& db) {
  return "the token is not valid for company database '" + db + "'";
}

// What the log line says about a call; "-" until the request names it.
struct CallFacts {
  std::string login = "-";
  std::string db = "-";
  std::string progid = "-";
  std::string op = "-";
};

// `s` with every byte that `escaped` picks written as \xNN.
std::string EscapeBytes(std::string_view s, bool (*escaped)(unsigned char)) {
  std::string out;
  for (unsigned char c : s) {
    if (escaped(c)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// One log field on one line: blanks, quotes, backslashes and control
// characters are escaped so that fields stay separable.
std::string LogText(std::string_view s) {
  if (s.empty()) return "\"\"";
  return EscapeBytes(
      s, [](unsigned char c) { return c <= 0x20 || c == 0x7f || c == '"' || c == '\\'; });
}

// The outcome may be a sentence: only line breaks and control characters
// are escaped.
std::string LogSentence(std::string_view s) {
  return EscapeBytes(s, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

Json InterfacesJson() {
  Json interfaces = Json::array();
  for (const Interface* itf : boundary::Interfaces()) {
    Json ops = Json::array();
    for (const Operation& op : *itf->operations) {
      Json params = Json::array();
      for (const boundary::Param& p : op.params) {
        params.push_back({{"name", p.name},
                          {"type", boundary::ParamTypeName(p.type)},
                          {"direction", p.direction == Direction::kIn ? "in" : "inout"}});
      }
      ops.push_back({{"operation", op.name},
                     {"dispid", boundary::DispIdText(op.dispid)},
                     {"parameters", std::move(params)},
                     {"result", boundary::ParamTypeName(op.result)}});
    }
    interfaces.push_back({{"name", itf->name},
                          {"class", itf->cls},
                          {"progid", itf->progid},
                          {"operations", std::move(ops)}});
  }
  return {{"interfaces", std::move(interfaces)}};
}

// "Bearer TOKEN" (the scheme in any case); empty when the header is no
// bearer credential.
std::string BearerToken(const std::string& header) {
  constexpr std::string_view kScheme = "bearer";
  if (header.size() <= kScheme.size() ||
      strncasecmp(header.c_str(), kScheme.data(), kScheme.size()) != 0 ||
      header[kScheme.size()] != ' ') {
    return "";
  }
  size_t begin = header.find_first_not_of(' ', kScheme.size());
  if (begin == std::string::npos) return "";
  size_t end = header.find_last_not_of(' ');
  std::string token = header.substr(begin, end - begin + 1);
  return token.find(' ') == std::string::npos ? token : "";
}

// The login a token belongs to in company database `db`. A database that
// is not there costs the same digest and look-up all the same.
base::Result<std::string> LoginOfToken(const std::string& db, const std::string& token) {
  auto target = company::CompanyTarget(db);
  if (!target.ok()) {
    tokens::LookUpWithoutDatabase(token);
    return target.err();
  }
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(*target, nullptr));
  return tokens::LoginOfToken(cnn, token);
}

// Everything about one POST /v1/call, from the body to the answer.
class CallHandler {
 public:
  CallHandler(const host::ClassTable& classes, Metrics& metrics)
      : classes_(classes), metrics_(metrics) {}

  // What the request's head says besides the body.
  struct Head {
    std::string token;
    // The database the head named, with the login its token was already
    // found to belong to; without it the token is checked against the
    // database the arguments name.
    std::optional<std::string> db;
    std::string granted_login;
    bool db_from_body = false;    // `db` was read from the body ahead of the rest
    std::string idempotency_key;  // empty: none
    int64_t key_expiry_s = 0;
    // Where the result set of a reader call may be answered as it is read
    // once its text outgrows stream_hold_bytes; null: answers are built
    // whole.
    ResponseWriter* stream_to = nullptr;
    size_t stream_hold_bytes = 0;
  };

  Reply Handle(const std::string& body, const Head& head, CallFacts& facts) const {
    auto parsed = ParseJson(body);
    if (!parsed.ok()) return Error(400, parsed.err().description);
    return HandleRequest(*parsed, body, head, facts);
  }

  // POST /v1/call/{progid}/{method}: the body holds the arguments alone.
  Reply HandleNamed(const std::string& progid, const std::string& method, const std::string& body,
                    const Head& head, CallFacts& facts) const {
    auto parsed = ParseJson(body);
    if (!parsed.ok()) return Error(400, parsed.err().description);
    if (!parsed->is_object()) {
      return Error(400, "the request must be a JSON object, not " + KindOf(*parsed));
    }
    for (const auto& [key, value] : parsed->items()) {
      if (key != "args" && key != "dryRun") {
        return Error(400,
                     "unknown request member \"" + key + "\" (expected \"args\" or \"dryRun\")");
      }
    }
    Json request = std::move(parsed).value();
    request["progid"] = progid;
    request["method"] = method;
    return HandleRequest(request, body, head, facts);
  }

  // `body` is the request's text as sent, the fingerprint of a keyed call.
  Reply HandleRequest(const Json& request, const std::string& body, const Head& head,
                      CallFacts& facts) const {
    if (!request.is_object()) {
      return Error(400, "the request must be a JSON object, not " + KindOf(request));
    }
    for (const auto& [key, value] : request.items()) {
      if (key != "progid" && key != "method" && key != "dispid" && key != "args" &&
          key != "dryRun") {
        return Error(400, "unknown request member \"" + key +
                              "\" (expected \"progid\", \"method\" or \"dispid\", \"args\", "
                              "\"dryRun\")");
      }
    }
    bool dry_run = false;
    if (auto flag = request.find("dryRun"); flag != request.end()) {
      if (!flag->is_boolean()) return Error(400, "\"dryRun\" must be true or false");
      dry_run = flag->get<bool>();
    }

    // Class and operation.
    auto progid = request.find("progid");
    if (progid == request.end() || !progid->is_string()) {
      return Error(400, "\"progid\" must be given as a string");
    }
    facts.progid = progid->get<std::string>();
    const Interface* itf = boundary::InterfaceByProgId(facts.progid);
    if (itf == nullptr) return Error(400, "unknown progid '" + facts.progid + "'");
    facts.progid = itf->progid;
    auto method = request.find("method");
    auto dispid = request.find("dispid");
    if ((method == request.end()) == (dispid == request.end())) {
      return Error(400, "give either \"method\" or \"dispid\"");
    }
    const Operation* op = nullptr;
    if (method != request.end()) {
      if (!method->is_string()) return Error(400, "\"method\" must be a string");
      const std::string& name = method->get_ref<const std::string&>();
      op = boundary::OperationByName(*itf, name);
      if (op == nullptr) {
        facts.op = name;
        return Error(400, std::string(itf->progid) + " has no operation '" + name + "'");
      }
    } else {
      const std::optional<uint32_t> id =
          dispid->is_string() ? boundary::ParseDispId(dispid->get_ref<const std::string&>())
                              : std::nullopt;
      if (!id) return Error(400, "\"dispid\" must be hexadecimal text such as \"6003001D\"");
      op = boundary::OperationByDispId(*itf, *id);
      if (op == nullptr) {
        facts.op = dispid->get<std::string>();
        return Error(400, std::string(itf->progid) + " has no operation with dispid " +
                              boundary::DispIdText(*id));
      }
    }
    facts.op = op->name;
    if (dry_run && std::string_view(itf->progid) != boundary::kWriterProgId) {
      return Error(400, std::string("\"dryRun\" applies to the writer ") + boundary::kWriterProgId +
                            " only");
    }

    // Arguments, in the operation's parameter order.
    auto args_it = request.find("args");
    if (args_it == request.end() || !args_it->is_object()) {
      return Error(400, "\"args\" must be an object with every parameter of " +
                            std::string(op->name) + " by its name");
    }
    const Json& args_json = *args_it;
    for (const auto& [key, value] : args_json.items()) {
      if (boundary::ParamByName(*op, key) == nullptr) {
        return Error(400, "unknown argument '" + key + "' of " + op->name);
      }
    }
    boundary::Args args;
    std::optional<std::string> db;
    for (const boundary::Param& p : op->params) {
      auto arg = args_json.find(p.name);
      if (arg == args_json.end()) {
        return Error(400, std::string("missing argument '") + p.name + "' of " + op->name);
      }
      auto value = FromJson(*arg, p.type, p.name);
      if (!value.ok()) return Error(400, value.err().description);
      if (std::string_view(p.name) == kDbParam) {
        db = value->value.TextOrEmpty();
        facts.db = *db;
      }
      args.push_back(std::move(value).value());
    }
    if (!db) return Error(500, std::string(op->name) + " names no company database");

    std::string login = head.granted_login;
    if (head.db) {
      if (*head.db != *db) {
        if (head.db_from_body) return Error(400, "vstrDB is given more than once");
        return Error(400, "vstrDB '" + *db + "' is not the database '" + *head.db +
                              "' named by the Plexavo-DB header");
      }
    } else {
      // Identity: the login the token belongs to in that company database.
      Reply refusal;
      login = Authenticate(*db, head.token, refusal);
      if (login.empty()) return refusal;
    }
    facts.login = login;
    // A dry run keeps nothing, its answer under a key included.
    if (dry_run) return Run(*itf, *op, args, login, {}, true);
    if (head.stream_to != nullptr && op->result == ParamType::kRowset &&
        std::string_view(itf->progid) != boundary::kWriterProgId) {
      return RunStreamed(*itf, *op, args, login, head);
    }
    if (head.idempotency_key.empty() || std::string_view(itf->progid) != boundary::kWriterProgId) {
      return Run(*itf, *op, args, login);
    }
    return RunOnce(*itf, *op, args, login, *db, body, head);
  }

  // The login `token` belongs to in company database `db`; empty, with the
  // refusal set, when it belongs to none there.
  static std::string Authenticate(const std::string& db, const std::string& token, Reply& refusal) {
    auto login = LoginOfToken(db, token);
    if (login.ok() && !login->empty()) return *login;
    refusal = Error(401, TokenRefusal(db));
    // The caller learns nothing about the database; the log tells why.
    if (!login.ok()) refusal.outcome += ": " + login.err().description;
    return "";
  }

 private:
  // Keeps a call's answer in the call's own transaction; false when it could
  // not (the call is then aborted).
  using Keeper = std::function<bool(host::Instance&, const std::string& answer)>;
  // Run's status when the keeper failed: another call kept the same key.
  static constexpr int kKeyTaken = -1;

  // A writer call with an Idempotency-Key: the kept answer when the key was
  // used before with the same body, else the call, its answer kept with it.
  Reply RunOnce(const Interface& itf, const Operation& op, boundary::Args& args,
                const std::string& login, const std::string& db, const std::string& body,
                const Head& head) const {
    if (!boundary::ValidIdempotencyKey(head.idempotency_key)) {
      return Error(400, "Idempotency-Key must be 1 to 255 visible ASCII characters");
    }
    auto target = company::CompanyTarget(db);
    if (!target.ok()) return Error(500, target.err().description);
    const std::string hash = boundary::RequestHash(body);
    auto lookup = [&]() -> std::optional<Reply> {
      auto kept = boundary::FindKeptAnswer(*target, login, head.idempotency_key, head.key_expiry_s);
      if (!kept.ok()) return Error(500, kept.err().description);
      if (!kept->has_value()) return std::nullopt;
      if ((*kept)->request_hash != hash) {
        return Error(422, "the Idempotency-Key was used before with another request body");
      }
      Reply r{200, Json(), std::nullopt, Json(), "ok (answered before)"};
      r.raw = (*kept)->answer;
      return r;
    };
    if (auto kept = lookup()) return *kept;
    Keeper keep = [&](host::Instance& instance, const std::string& answer) {
      host::ObjectContext* ctx = instance.context();
      data::Connection cnn;
      if (ctx != nullptr && cnn.Open(*target, ctx->enlistment()).ok() &&
          boundary::KeepAnswer(cnn, login, head.idempotency_key, {hash, answer}, head.key_expiry_s)
              .ok()) {
        return true;
      }
      if (ctx != nullptr) ctx->SetAbort();
      return false;
    };
    Reply reply = Run(itf, op, args, login, keep);
    if (reply.status != kKeyTaken) return reply;
    // A call with the same key committed first: its answer is the answer.
    if (auto kept = lookup()) return *kept;
    return Error(409, "the call could not keep its Idempotency-Key; nothing was kept");
  }

  // A reader call answering a result set: its rows go to the answer as
  // they are read (server/streamed_answer.h).
  Reply RunStreamed(const Interface& itf, const Operation& op, boundary::Args& args,
                    const std::string& login, const Head& head) const {
    StreamedAnswer stream(*head.stream_to, head.stream_hold_bytes,
                          [&] { return Dump(ByRefJson(op, args)); });
    Reply reply;
    try {
      reply = Run(itf, op, args, login, {}, false, &stream);
    } catch (const std::exception& e) {
      if (!stream.sending()) throw;
      stream.CutOff();
      reply = Error(500, std::string("answer cut off: internal error: ") + e.what());
      reply.sent = true;
      return reply;
    }
    reply.rows_read = stream.rows();
    const bool whole = reply.status == 200 && reply.result && reply.result->rowset &&
                       reply.result->rowset->RecordCount() == 0;
    if (stream.sending()) {
      reply.sent = true;
      if (!whole || !stream.Complete(Dump(reply.byref))) {
        stream.CutOff();
        reply.outcome =
            "answer cut off: " +
            (reply.status == 200 ? std::string("in/out values changed") : reply.outcome);
      }
    } else if (stream.begun() && whole) {
      reply.result_text = stream.TakeHeld();
    }
    return reply;
  }

  static std::string AnswerText(const Operation& op, const boundary::Args& args,
                                const boundary::Variant& result) {
    return Dump(Json{{"byref", ByRefJson(op, args)}, {"result", ToJson(result)}});
  }

  static Json ByRefJson(const Operation& op, const boundary::Args& args) {
    Json byref = Json::object();
    for (size_t i = 0; i < op.params.size(); ++i) {
      if (op.params[i].direction == Direction::kInOut) byref[op.params[i].name] = ToJson(args[i]);
    }
    return byref;
  }

  // A dry run's transaction is rolled back whatever the call answers; the
  // reply then carries what it did (boundary/effects_json.h).
  Reply Run(const Interface& itf, const Operation& op, boundary::Args& args,
            const std::string& login, const Keeper& keep = {}, bool dry_run = false,
            base::RowSink* result_sink = nullptr) const {
    host::Host host(classes_);
    // A call whose transaction lost a race with another one (a deadlock, a
    // number another call took first) left nothing behind; it runs again on
    // a fresh object until it gets through or the retry budget is spent
    // (host/conflict_retry.h).
    const boundary::Args original = args;
    base::Result<boundary::Variant> result;
    base::Status released;
    std::optional<Reply> failed;
    std::optional<std::string> effects;
    int attempt = 0;
    const bool conflicted = host::RetryWhileConflicted(host::DefaultRetryPolicy(), [&] {
      if (++attempt > 1) metrics_.ConflictRetried(itf.cls, op.name);
      args = original;
      auto instance = host.CreateObject(itf.progid, login);
      if (!instance.ok()) {
        failed = Error(500, instance.err().description);
        return host::Attempt::kDone;
      }
      host::Component* object = instance->As<host::Component>();
      if (object == nullptr) {
        (void)instance->Release();
        failed = Error(500, std::string("the host gave no object of ") + itf.progid);
        return host::Attempt::kDone;
      }
      if (dry_run) instance->SetDryRun();
      // Only a first attempt may hand its rows on: rows sent cannot be
      // taken back.
      if (attempt == 1 && result_sink != nullptr && instance->context() != nullptr) {
        instance->context()->set_result_sink(result_sink);
      }
      result = boundary::Invoke(*object, itf, op, args);
      if (keep && result.ok() && !keep(*instance, AnswerText(op, args, *result))) {
        (void)instance->Release();
        failed = Reply{kKeyTaken, Json(), std::nullopt, Json(), ""};
        return host::Attempt::kDone;
      }
      released = instance->Release();
      if (const host::Effects* done = instance->effects()) {
        effects = ",\"effects\":" + boundary::EffectsJson(*done) +
                  ",\"problems\":" + boundary::ProblemsJson(*done);
      }
      return host::AttemptOf(*instance);
    });
    if (failed.has_value()) return *failed;
    // Still conflicting when the budget ran out: nothing was changed, and
    // the caller may try again later; the database's text is no answer.
    if (conflicted) {
      return Error(409, "the transaction conflicted with others until the retry time ran out: " +
                            std::string(released.ok() ? "the call was rolled back"
                                                      : released.err().description));
    }
    if (!released.ok()) {
      if (released.err().number == host::kErrTransactionAborted) {
        return Error(409, "the transaction was aborted: " + released.err().description);
      }
      return Error(500, released.err().description);
    }
    if (!result.ok()) return Error(500, result.err().description);

    Reply reply{200, Json(), std::move(result).value(), ByRefJson(op, args), "ok"};
    reply.effects = std::move(effects);
    const base::Value& value = reply.result->value;
    if (op.result == ParamType::kBool && !value.IsNull() && value.AsBool().ok() &&
        !*value.AsBool()) {
      reply.outcome = "false";
    }
    return reply;
  }

  const host::ClassTable& classes_;
  Metrics& metrics_;
};

}  // namespace

struct Server::Impl {
  Impl(ServeOptions o, std::ostream& l)
      : options(std::move(o)),
        log(l),
        calls(classes, metrics),
        interfaces(Dump(InterfacesJson())),
        openapi(Dump(OpenApiDocument())) {
    if (options.register_classes) {
      options.register_classes(classes);
    } else {
      boundary::RegisterAll(classes);
    }
  }

  void Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(log_mutex);
    log << line << '\n';
    log.flush();
  }

  void LogCall(const CallFacts& f, int64_t ms, int status, const std::string& outcome) {
    Log(base::DateTime::Now().FormatDateTime() + " login=" + LogText(f.login) +
        " db=" + LogText(f.db) + " progid=" + LogText(f.progid) + " op=" + LogText(f.op) +
        " ms=" + std::to_string(ms) + " " + std::to_string(status) + " " + LogSentence(outcome));
  }

  void LogRefusal(const CallFacts& f, const SimpleAnswer& a) {
    auto text = ParseJson(a.body);
    std::string outcome = text.ok() && text->is_object() && text->contains("error")
                              ? (*text)["error"].get<std::string>()
                              : a.body;
    LogCall(f, 0, a.status, outcome);
  }

  // The page, its files, the API document and the metrics: answered on the
  // network thread, from memory.
  std::optional<SimpleAnswer> GetAnswer(const RequestHead& head) {
    const bool get = head.method == "GET";
    if (head.path == "/metrics" || head.path == "/v1/openapi.json") {
      if (!get) return ErrorAnswer(405, "use GET for " + head.path);
      if (head.path == "/v1/openapi.json") return SimpleAnswer{200, openapi, {}};
      SimpleAnswer a{200, metrics.Render(), {}};
      a.content_type = "text/plain; version=0.0.4; charset=utf-8";
      return a;
    }
    const WebAnswer* asset = FindWebAsset(head.path);
    if (asset == nullptr) return std::nullopt;
    if (!get) return ErrorAnswer(405, "use GET for " + head.path);
    // The token never reaches the server in a URL: the sign-in link
    // carries it in the fragment.
    SimpleAnswer a{200,
                   std::string(asset->bytes),
                   {{"Content-Security-Policy", asset->security_policy},
                    {"X-Content-Type-Options", "nosniff"},
                    {"Referrer-Policy", "no-referrer"},
                    {"Cache-Control", "no-cache"}}};
    a.content_type = asset->content_type;
    return a;
  }

  // Answers decided from the head alone, on the network thread.
  std::optional<SimpleAnswer> Early(const RequestHead& head) {
    if (head.path == "/v1/health" || head.path == "/v1/interfaces") {
      if (head.method != "GET") return ErrorAnswer(405, "use GET for " + head.path);
      if (head.path == "/v1/health") return SimpleAnswer{200, Dump(Json{{"status", "ok"}}), {}};
      return SimpleAnswer{200, interfaces, {}};
    }
    if (auto answer = GetAnswer(head)) return answer;
    if (head.path == kEventsPath) {
      if (head.method != "GET") return ErrorAnswer(405, "use GET for " + head.path);
      if (!BearerToken(head.Header("authorization").value_or("")).empty()) return std::nullopt;
      SimpleAnswer refusal = ErrorAnswer(401, "missing \"Authorization: Bearer TOKEN\" header");
      LogRefusal(CallFacts(), refusal);
      return refusal;
    }
    if (!IsCallPath(head.path)) {
      return ErrorAnswer(404, "no such resource: " + head.method + " " + head.path);
    }
    if (head.method != "POST") return ErrorAnswer(405, "use POST for " + head.path);
    CallFacts facts;
    if (auto db = head.Header(kDbHeader)) facts.db = *db;
    std::optional<SimpleAnswer> refusal;
    if (head.content_length > options.max_body_bytes) {
      refusal = ErrorAnswer(413, "the request body is larger than " +
                                     std::to_string(options.max_body_bytes) + " bytes");
    } else if (BearerToken(head.Header("authorization").value_or("")).empty()) {
      refusal = ErrorAnswer(401, "missing \"Authorization: Bearer TOKEN\" header");
    }
    if (refusal) LogRefusal(facts, *refusal);
    return refusal;
  }

  // On a worker, before the body is read: the token against the database
  // the head names.
  std::optional<SimpleAnswer> Admit(const RequestHead& head, std::string& login) {
    auto start = std::chrono::steady_clock::now();
    const std::string db = head.Header(kDbHeader).value_or("");
    Reply refusal;
    login = CallHandler::Authenticate(db, BearerToken(head.Header("authorization").value_or("")),
                                      refusal);
    if (!login.empty()) return std::nullopt;
    CallFacts facts;
    facts.db = db;
    LogCall(facts, MsSince(start), refusal.status, refusal.outcome);
    return ErrorAnswer(refusal.status, refusal.body["error"].get<std::string>());
  }

  // A call that names its database only in the body's vstrDB: the name is
  // picked out of the text by one scan that builds nothing, and the token
  // checked against it, before the body is parsed. True when the token is
  // refused (`reply` says so); otherwise `h` carries the database and the
  // login, or nothing when the body names no database as text (the parse
  // then says what is wrong).
  static bool PreAuthenticate(const std::string& body, CallHandler::Head& h, CallFacts& facts,
                              Reply& reply) {
    std::optional<std::string> db = FindArgText(body, kDbParam);
    if (!db) return false;
    facts.db = *db;
    std::string login = CallHandler::Authenticate(*db, h.token, reply);
    if (login.empty()) return true;
    h.db = std::move(db);
    h.db_from_body = true;
    h.granted_login = std::move(login);
    return false;
  }

  void HandleCall(const RequestHead& head, std::string& body, const std::string& login,
                  ResponseWriter& out) {
    auto start = std::chrono::steady_clock::now();
    CallFacts facts;
    Reply reply;
    try {
      CallHandler::Head h;
      h.token = BearerToken(head.Header("authorization").value_or(""));
      h.db = head.Header(kDbHeader);
      h.granted_login = login;
      h.idempotency_key = head.Header("idempotency-key").value_or("");
      h.key_expiry_s = options.idempotency_expiry_s;
      h.stream_to = &out;
      h.stream_hold_bytes = options.stream_hold_bytes;
      std::string progid, method;
      if (head.path == kEventsPath) {
        reply = HandleEvents(head, h.token, facts);
      } else if (!h.db && PreAuthenticate(body, h, facts, reply)) {
        // Refused before the body was parsed.
      } else if (NamedCall(head.path, progid, method)) {
        reply = calls.HandleNamed(progid, method, body, h, facts);
      } else if (head.path == kCallPath) {
        reply = calls.Handle(body, h, facts);
      } else {
        reply = Error(404, "no such resource: " + head.method + " " + head.path);
      }
    } catch (const std::exception& e) {
      reply = Error(500, std::string("internal error: ") + e.what());
    }
    std::string().swap(body);
    if (!reply.sent) WriteReply(reply, out);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    LogCall(facts, MsSince(start), reply.status, reply.outcome);
    CountCall(facts, reply, std::chrono::duration<double>(elapsed).count());
    // A large answer leaves the allocator holding memory the process no
    // longer uses; hand it back.
    if ((reply.result && reply.result->rowset && reply.result->rowset->RecordCount() > 1000) ||
        reply.rows_read > 1000) {
      reply = Reply();
      malloc_trim(0);
    }
  }

  // GET /v1/events (server/events.h): the change feed of the company
  // database the query names, for a caller with the read right there.
  Reply HandleEvents(const RequestHead& head, const std::string& token, CallFacts& facts) {
    facts.op = "events";
    const size_t q = head.target.find('?');
    auto request = ParseEventsRequest(
        q == std::string::npos ? std::string_view() : std::string_view(head.target).substr(q + 1));
    if (!request.ok()) return Error(400, request.err().description);
    facts.db = request->db;
    Reply refusal;
    const std::string login = CallHandler::Authenticate(request->db, token, refusal);
    if (login.empty()) return refusal;
    facts.login = login;
    if (!MayRead(login, request->db)) {
      return Error(403, "user '" + login + "' has no right to read bills in company database '" +
                            request->db + "'");
    }
    auto target = company::CompanyTarget(request->db);
    if (!target.ok()) return Error(500, target.err().description);
    auto events = frame::feed::ReadOrWait(
        *target, request->after, request->limit,
        std::chrono::steady_clock::now() + std::chrono::seconds(request->wait_s));
    if (!events.ok()) return Error(500, events.err().description);
    Reply reply{200, Json(), std::nullopt, Json(), "ok"};
    reply.raw = EventsJson(*events);
    return reply;
  }

  // Whether the reader grants `login` the read right in `db`.
  bool MayRead(const std::string& login, const std::string& db) const {
    const Interface* itf = boundary::InterfaceByProgId(boundary::kReaderProgId);
    const Operation* op = itf ? boundary::OperationByName(*itf, "ReadRight") : nullptr;
    if (op == nullptr) return false;
    auto instance = host::Host(classes).CreateObject(itf->progid, login);
    if (!instance.ok()) return false;
    host::Component* object = instance->As<host::Component>();
    boundary::Args args{boundary::Variant::Text(db)};
    auto granted = object ? boundary::Invoke(*object, *itf, *op, args)
                          : base::Result<boundary::Variant>(base::MakeErr(base::kErrInternal, ""));
    (void)instance->Release();
    return granted.ok() && granted->value.AsBool().ok() && *granted->value.AsBool();
  }

  // Labels only what the interface tables name.
  void CountCall(const CallFacts& facts, const Reply& reply, double seconds) {
    const Interface* itf = boundary::InterfaceByProgId(facts.progid);
    const Operation* op = itf != nullptr ? boundary::OperationByName(*itf, facts.op) : nullptr;
    CallOutcome outcome = CallOutcome::kFailure;
    if (reply.status == 200) {
      outcome = reply.outcome == "false" ? CallOutcome::kRefusal : CallOutcome::kSuccess;
    } else if (reply.status == 409) {
      outcome = CallOutcome::kConflict;
    }
    metrics.CallDone(itf != nullptr ? itf->cls : "-", op != nullptr ? op->name : "-", outcome,
                     seconds);
  }

  static void WriteReply(const Reply& reply, ResponseWriter& out) {
    out.Start(reply.status);
    if (reply.raw) return out.Write(*reply.raw);
    if (!reply.result) return out.Write(Dump(reply.body));
    out.Write("{\"byref\":");
    out.Write(Dump(reply.byref));
    out.Write(",\"result\":");
    if (reply.result_text) {
      out.Write(*reply.result_text);
    } else {
      WriteJson(*reply.result, [&out](std::string_view piece) { out.Write(piece); });
    }
    if (reply.effects) out.Write(*reply.effects);
    out.Write("}");
  }

  static int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }

  ServeOptions options;
  std::ostream& log;
  std::mutex log_mutex;
  host::ClassTable classes;
  Metrics metrics;
  CallHandler calls;
  std::string interfaces;
  std::string openapi;
  std::unique_ptr<HttpFront> front;
  bool started = false;
};

Server::Server(ServeOptions options, std::ostream& log)
    : impl_(std::make_unique<Impl>(std::move(options), log)) {}

Server::~Server() {
  Stop();
  Wait();
}

base::Status Server::Start() {
  Impl& s = *impl_;
  const ServeOptions& o = s.options;
  auto bad = [](const std::string& text) {
    return base::MakeErr(base::kErrInvalidArgument, text, "Plexavo.Server");
  };
  if (s.started) return bad("the server is already started");
  if (o.port < 0 || o.port > 65535) return bad("port must be 0 to 65535");
  if (o.threads < 1) return bad("threads must be at least 1");
  if (o.max_body_bytes < 1) return bad("max_body_bytes must be at least 1");
  if (o.read_timeout_s < 1 || o.write_timeout_s < 1 || o.keep_alive_timeout_s < 1) {
    return bad("timeouts must be at least 1 s");
  }

  FrontOptions f;
  f.host = o.host;
  f.port = o.port;
  f.threads = o.threads;
  f.max_body_bytes = o.max_body_bytes;
  f.read_timeout_s = o.read_timeout_s;
  f.write_timeout_s = o.write_timeout_s;
  f.keep_alive_timeout_s = o.keep_alive_timeout_s;
  f.max_connections = o.max_connections;
  FrontRoutes routes;
  routes.early = [&s](const RequestHead& head) { return s.Early(head); };
  routes.needs_admission = [](const RequestHead& head) {
    return IsCallPath(head.path) && head.Header(kDbHeader).has_value();
  };
  routes.admit = [&s](const RequestHead& head, std::string& login) { return s.Admit(head, login); };
  routes.handle = [&s](const RequestHead& head, std::string& body, const std::string& login,
                       ResponseWriter& out) { s.HandleCall(head, body, login, out); };
  routes.refused = [&s](const RequestHead* head, const SimpleAnswer& a) {
    if (head == nullptr || IsCallPath(head->path)) {
      CallFacts facts;
      if (head != nullptr) facts.db = head->Header(kDbHeader).value_or("-");
      s.LogRefusal(facts, a);
    }
  };
  if (o.tls_cert.empty() != o.tls_key.empty()) {
    return bad("TLS needs both a certificate and a key");
  }
  if (!o.tls_cert.empty()) {
    auto context = MakeTlsContext(o.tls_cert, o.tls_key);
    if (!context.ok()) return context.err();
    f.make_stream = [context = *context](int fd) { return MakeTlsStream(fd, context); };
    // A TLS write to a connection the client closed must fail, not kill
    // the process.
    signal(SIGPIPE, SIG_IGN);
  }
  s.front = std::make_unique<HttpFront>(std::move(f), std::move(routes));
  base::Status started = s.front->Start();
  if (!started.ok()) {
    s.front.reset();
    return started;
  }
  s.started = true;
  return base::OkStatus();
}

int Server::port() const { return impl_->front ? impl_->front->port() : 0; }

void Server::Stop() {
  if (impl_->front) impl_->front->Stop();
}

void Server::Log(const std::string& line) { impl_->Log(line); }

void Server::Wait() {
  if (impl_->front) impl_->front->Wait();
}

int Serve(const ServeOptions& options, std::ostream& log) {
  // SIGINT and SIGTERM are taken by a waiting thread instead of their
  // default action; the server's threads inherit the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigset_t old_mask;
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);

  int exit_code = 0;
  {
    Server server(options, log);
    auto note = [&](const std::string& line) {
      server.Log(base::DateTime::Now().FormatDateTime() + " " + line);
    };
    base::Status started = server.Start();
    if (!started.ok()) {
      note("cannot start: " + started.err().description);
      exit_code = 1;
    } else {
      note(std::string("listening on ") + (options.tls_cert.empty() ? "http://" : "https://") +
           options.host + ":" + std::to_string(server.port()) + " with " +
           std::to_string(options.threads) + " threads");
      std::atomic<bool> done{false};
      std::atomic<bool> signalled{false};
      std::thread waiter([&] {
        const timespec tick{0, 200 * 1000 * 1000};
        while (!done) {
          int sig = sigtimedwait(&stop_signals, nullptr, &tick);
          if (sig == SIGINT || sig == SIGTERM) {
            signalled = true;
            note(std::string("received ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") +
                 ": no new calls; finishing the calls in flight");
            server.Stop();
            return;
          }
        }
      });
      server.Wait();
      done = true;
      waiter.join();
      if (!signalled) {
        note("the server stopped unexpectedly");
        exit_code = 1;
      } else {
        note("stopped");
      }
    }
  }

  // A stop signal that arrived during shutdown is consumed, not delivered.
  const timespec none{0, 0};
  while (sigtimedwait(&stop_signals, nullptr, &none) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  return exit_code;
}

}  // namespace server
