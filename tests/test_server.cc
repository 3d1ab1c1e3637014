#include "tests/test_server.h"

#include <gtest/gtest.h>

namespace testing_support {
namespace {

HttpAnswer AnswerOf(const httplib::Result& res) {
  HttpAnswer a;
  if (!res) return a;
  a.status = res->status;
  a.text = res->body;
  auto parsed = server::ParseJson(res->body);
  if (parsed.ok()) a.body = *parsed;
  return a;
}

}  // namespace

server::Json NewBillArgs(const base::Rowset& lines, bool auto_exe, const std::string& id,
                         const std::string& memo) {
  return {{"vstrID", id},           {"vdtmDate", "2026-12-06"},
          {"vstrOpCate", ""},       {"vstrOrdBill", "MO1"},
          {"vstrOrdSortID", "1"},   {"vstrProject", ""},
          {"vstrItem", ""},         {"vstrOperator", "Oscar"},
          {"vstrMemo", memo},       {"vrstDetail", server::RowsetToJson(lines)},
          {"vblnAutoExe", auto_exe}};
}

server::Json EditArgs(const std::string& id, const base::Rowset& lines) {
  server::Json args = NewBillArgs(lines, false);
  args.erase("vstrID");
  args.erase("vblnAutoExe");
  args["vstrOldID"] = id;
  args["vstrNewID"] = id;
  return args;
}

std::string ErrorBody(const std::string& text) { return server::Dump({{"error", text}}); }

std::string TokenRefusal(const std::string& db) {
  return "the token is not valid for company database '" + db + "'";
}

server::ServeOptions ServerOptions(int threads) {
  server::ServeOptions options;
  options.port = 0;
  options.threads = threads;
  return options;
}

void TestServer::Start(server::ServeOptions options) {
  server_.reset();
  server_ = std::make_unique<server::Server>(std::move(options), log_);
  base::Status started = server_->Start();
  ASSERT_TRUE(started.ok()) << started.err().description;
}

const std::string& TestServer::Token(const std::string& login) {
  auto it = tokens_.find(login);
  if (it != tokens_.end()) return it->second;
  auto token = company_.IssueToken(login);
  EXPECT_TRUE(token.ok()) << token.err().description;
  return tokens_[login] = token.ok() ? *token : "";
}

std::string TestServer::Body(const std::string& progid, const std::string& op,
                             server::Json args) const {
  if (!args.contains("vstrDB")) args["vstrDB"] = company_.name();
  if (!args.contains("vstrErr")) args["vstrErr"] = "";
  return server::Dump({{"progid", progid}, {"method", op}, {"args", args}});
}

HttpAnswer TestServer::Post(const std::string& body, const httplib::Headers& headers) {
  httplib::Client client("127.0.0.1", server_->port());
  client.set_read_timeout(120, 0);
  return AnswerOf(client.Post("/v1/call", headers, body, "application/json"));
}

HttpAnswer TestServer::Call(const std::string& progid, const std::string& op, server::Json args,
                            const std::string& login) {
  return Post(Body(progid, op, std::move(args)), Bearer(login));
}

HttpAnswer TestServer::Get(const std::string& path, const std::string& login) {
  httplib::Client client("127.0.0.1", server_->port());
  client.set_read_timeout(120, 0);
  return AnswerOf(client.Get(path, login.empty() ? httplib::Headers() : Bearer(login)));
}

}  // namespace testing_support
