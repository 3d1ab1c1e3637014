// A server of the test process on a free loopback port, and the calls tests
// send it: tokens issued per login on the test company, JSON bodies of one
// operation, answers read into their status and parsed body.
#ifndef PLEXAVO_TESTS_TEST_SERVER_H_
#define PLEXAVO_TESTS_TEST_SERVER_H_

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "boundary/interfaces.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/bill_fixture.h"
#include "tests/test_company.h"

namespace testing_support {

struct HttpAnswer {
  int status = 0;  // 0: no answer
  std::string text;
  server::Json body;  // the text parsed; null when it is no JSON

  // A call answered with the result true.
  bool ok() const { return status == 200 && body["result"] == true; }
  // The call's vstrErr, or the whole text of an answer without one.
  std::string err() const {
    return body.contains("byref") ? body["byref"].value("vstrErr", "") : text;
  }
};

// Arguments of a writer AddNew on order MO1 line 1, dated 2026-12-06.
server::Json NewBillArgs(const base::Rowset& lines, bool auto_exe, const std::string& id = "",
                         const std::string& memo = "memo");
// Arguments of a writer Edit of bill `id` under its own number.
server::Json EditArgs(const std::string& id, const base::Rowset& lines);

// The body of an error answer: {"error": text}.
std::string ErrorBody(const std::string& text);
// The text refusing a token for company database `db`.
std::string TokenRefusal(const std::string& db);

// Options of a test server: any free port, `threads` workers.
server::ServeOptions ServerOptions(int threads = 4);

class TestServer {
 public:
  explicit TestServer(const TestCompany& company) : company_(company) {}

  // Starts the server, stopping one started before; fails the test when
  // it does not start.
  void Start(server::ServeOptions options = ServerOptions());
  server::Server& server() { return *server_; }
  int port() const { return server_->port(); }
  std::string log() const { return log_.str(); }

  // A token of `login` on the company, issued on first use.
  const std::string& Token(const std::string& login);
  httplib::Headers Bearer(const std::string& login) {
    return {{"Authorization", "Bearer " + Token(login)}};
  }
  // The same as a header line of a raw request.
  std::string AuthLine(const std::string& login) {
    return "Authorization: Bearer " + Token(login) + "\r\n";
  }

  // The body of a call of `op`; vstrDB and vstrErr are added unless given.
  std::string Body(const std::string& progid, const std::string& op,
                   server::Json args = server::Json::object()) const;
  // Posts a call body with the given headers.
  HttpAnswer Post(const std::string& body, const httplib::Headers& headers);
  // Posts a call body as `login`, with the `extra` headers.
  HttpAnswer PostAs(const std::string& login, const std::string& body,
                    httplib::Headers extra = {}) {
    extra.emplace("Authorization", "Bearer " + Token(login));
    return Post(body, extra);
  }
  // Calls `op` of `progid` as `login`.
  HttpAnswer Call(const std::string& progid, const std::string& op,
                  server::Json args = server::Json::object(), const std::string& login = "amy");
  // GET `path`, as `login` when one is given.
  HttpAnswer Get(const std::string& path, const std::string& login = "");

 private:
  const TestCompany& company_;
  std::map<std::string, std::string> tokens_;
  std::ostringstream log_;
  std::unique_ptr<server::Server> server_;
};

// A test company with amy (reader rights MF0301 and MF0302, English) and a
// server on it that each test starts.
class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override { company_.AddUser("amy", "Amy Archer", "en", {"MF0301", "MF0302"}); }

  TestCompany company_;
  TestServer server_{company_};
};

// A bill fixture with a server on its company, started, and bea, who may
// do everything, beside amy; both signed in.
class BillServerFixture : public BillFixture {
 protected:
  void SetUp() override {
    company_.AddUser("bea", "Bea", "", {"MF0301", "MF0302", "MF0303", "MF0304"});
    for (const char* login : {"amy", "bea"}) server_.Token(login);
    server_.Start();
  }

  // Arguments of a writer AddNew of one line of `qty`.
  static server::Json OneLineBill(const std::string& qty, bool auto_exe, const std::string& id = "",
                                  const std::string& memo = "memo") {
    return NewBillArgs(Lines({{.qty = qty}}), auto_exe, id, memo);
  }

  TestServer server_{company_};
};

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_TEST_SERVER_H_
