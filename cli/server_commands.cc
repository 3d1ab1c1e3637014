// Handlers of `serve` and `call`.
#include "cli/server_commands.h"

#include <cstdlib>
#include <set>
#include <string>

#include "boundary/interfaces.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"

namespace cli {
namespace {

constexpr const char* kDefaultUrl = "http://127.0.0.1:8080";
constexpr time_t kConnectTimeoutS = 10;
// Calls run to their end on the server (there is no call timeout there), so
// the client waits long for the answer.
constexpr time_t kAnswerTimeoutS = 600;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? "" : v;
}

base::Err BadArg(std::string text) {
  return base::MakeErr(base::kErrInvalidArgument, std::move(text), "Plexavo.Cli");
}

const boundary::Operation* FindOperation(const boundary::Interface& itf, const std::string& name) {
  if (const boundary::Operation* op = boundary::OperationByName(itf, name)) return op;
  // Otherwise a dispatch identifier in hexadecimal ("6003001D").
  const std::optional<uint32_t> dispid = boundary::ParseDispId(name);
  return dispid ? boundary::OperationByDispId(itf, *dispid) : nullptr;
}

// The JSON form of a command-line value of parameter `p`: checked the way
// the server checks it, so that a typing mistake is reported before any
// request is sent.
base::Result<server::Json> ArgumentJson(const boundary::Param& p, const std::string& text) {
  server::Json raw;
  switch (p.type) {
    case boundary::ParamType::kText:
    case boundary::ParamType::kDate:
    case boundary::ParamType::kCurrency:
      raw = text;
      break;
    case boundary::ParamType::kBool:
      if (text != "true" && text != "false") {
        return BadArg(std::string("argument ") + p.name + " must be true or false, not '" + text +
                      "'");
      }
      raw = text == "true";
      break;
    case boundary::ParamType::kInt: {
      auto i = ParseInt32(text);
      if (!i.ok()) return BadArg(std::string("argument ") + p.name + ": " + i.err().description);
      raw = *i;
      break;
    }
    case boundary::ParamType::kRowset: {
      auto parsed = server::ParseJson(text);
      if (!parsed.ok()) {
        return BadArg(std::string("argument ") + p.name + ": " + parsed.err().description);
      }
      raw = std::move(parsed).value();
      break;
    }
  }
  PLX_ASSIGN_OR_RETURN(boundary::Variant v, server::FromJson(raw, p.type, p.name));
  return server::ToJson(v);
}

}  // namespace

base::Status ParseListen(const std::string& text, server::ServeOptions& options) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    return BadArg("--listen takes HOST:PORT, not '" + text + "'");
  }
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  auto port = ParseInt32(text.substr(colon + 1));
  if (!port.ok() || *port < 0 || *port > 65535) {
    return BadArg("--listen: the port must be 0 to 65535, not '" + text.substr(colon + 1) + "'");
  }
  options.host = host;
  options.port = *port;
  return base::OkStatus();
}

namespace {

// Whether `host` names this machine's loopback interface only.
bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

}  // namespace

std::optional<std::string> ApplyTransport(const Args& args, const char* command,
                                          server::ServeOptions& options, std::ostream& warnings) {
  options.tls_cert = args.Option("--tls-cert").value_or("");
  options.tls_key = args.Option("--tls-key").value_or("");
  if (options.tls_cert.empty() != options.tls_key.empty()) {
    return "--tls-cert and --tls-key go together";
  }
  const bool plain = args.Option("--plain-http").has_value();
  if (plain && !options.tls_cert.empty()) return "--plain-http and --tls-cert exclude each other";
  if (options.tls_cert.empty() && !IsLoopback(options.host)) {
    if (!plain) {
      return "listening on " + options.host +
             " without TLS needs --tls-cert and --tls-key, or --plain-http";
    }
    warnings << "plexavo " << command << ": warning: serving plain HTTP on " << options.host
             << ": tokens and data cross the network unencrypted\n";
  }
  return std::nullopt;
}

int RunServe(Invocation& inv) {
  auto args = ParseArgs(
      inv.args(),
      {.options = {"--listen", "--threads", "--tls-cert", "--tls-key"}, .flags = {"--plain-http"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  server::ServeOptions options;
  if (std::optional<std::string> listen = args->Option("--listen")) {
    base::Status parsed = ParseListen(*listen, options);
    if (!parsed.ok()) return inv.UsageError(parsed.err().description);
  }
  if (std::optional<std::string> threads = args->Option("--threads")) {
    auto n = ParseInt32(*threads);
    if (!n.ok() || *n < 1 || *n > 256) {
      return inv.UsageError("--threads must be 1 to 256, not '" + *threads + "'");
    }
    options.threads = *n;
  }
  if (auto refused = ApplyTransport(*args, "serve", options, inv.err())) {
    return inv.UsageError(*refused);
  }
  return server::Serve(options, inv.out()) == 0 ? kExitOk : kExitFailure;
}

int RunCall(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {.positionals = {"PROGID", "OPERATION"}, .variadic = true});
  if (!args.ok()) return inv.UsageError(args.err().description);
  const std::vector<std::string>& pos = args->positionals;
  const boundary::Interface* itf = boundary::InterfaceByProgId(pos[0]);
  if (itf == nullptr) return inv.UsageError("unknown progid '" + pos[0] + "'");
  const boundary::Operation* op = FindOperation(*itf, pos[1]);
  if (op == nullptr) {
    return inv.UsageError(std::string(itf->progid) + " has no operation '" + pos[1] + "'");
  }

  server::Json call_args = server::Json::object();
  for (size_t i = 2; i < pos.size(); ++i) {
    size_t eq = pos[i].find('=');
    if (eq == std::string::npos) return inv.UsageError("'" + pos[i] + "' is not NAME=VALUE");
    const std::string name = pos[i].substr(0, eq);
    const boundary::Param* param = boundary::ParamByName(*op, name);
    if (param == nullptr) {
      std::string names;
      for (const boundary::Param& p : op->params) names += std::string(" ") + p.name;
      return inv.UsageError("unknown argument '" + name + "' of " + op->name +
                            "; its parameters are" + names);
    }
    if (call_args.contains(name)) return inv.UsageError("argument '" + name + "' given twice");
    auto value = ArgumentJson(*param, pos[i].substr(eq + 1));
    if (!value.ok()) return inv.UsageError(value.err().description);
    call_args[name] = std::move(value).value();
  }
  server::Json request = {{"progid", itf->progid}, {"method", op->name}, {"args", call_args}};

  std::string url = Env("PLEXAVO_URL");
  if (url.empty()) url = kDefaultUrl;
  httplib::Client client(url);
  if (!client.is_valid()) return inv.Failure("PLEXAVO_URL '" + url + "' is not a server URL");
  client.set_connection_timeout(kConnectTimeoutS, 0);
  client.set_read_timeout(kAnswerTimeoutS, 0);
  httplib::Headers headers;
  const std::string token = Env("PLEXAVO_TOKEN");
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  auto res = client.Post("/v1/call", headers, server::Dump(request), "application/json");
  if (!res) {
    return inv.Failure("cannot reach " + url + ": " + httplib::to_string(res.error()));
  }
  auto answer = server::ParseJson(res->body);
  if (res->status != 200) {
    std::string text = res->body;
    if (answer.ok() && answer->is_object() && answer->contains("error") &&
        (*answer)["error"].is_string()) {
      text = (*answer)["error"].get<std::string>();
    }
    return inv.Failure("HTTP " + std::to_string(res->status) + ": " + text);
  }
  if (!answer.ok()) return inv.Failure("the server's answer is no JSON: " + res->body);
  // Answers hold no fractional numbers (currency is text), so the parsed
  // document prints as it came.
  inv.out() << server::Dump(*answer, 2) << "\n";
  return kExitOk;
}

}  // namespace cli
