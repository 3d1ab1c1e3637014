#include "server/streamed_answer.h"

#include <gtest/gtest.h>

#include "server/json_values.h"
#include "tests/raw_client.h"

namespace server {
namespace {

// Takes every byte written to it.
class CapturingStream : public Stream {
 public:
  CapturingStream() : Stream(-1) {}
  size_t ReadSome(char*, size_t, Io& io) override {
    io = Io::kClosed;
    return 0;
  }
  size_t WriteSome(const char* data, size_t size, Io& io) override {
    io = Io::kDone;
    sent.append(data, size);
    return size;
  }
  std::string sent;
};

const std::vector<base::Field> kFields = {{"ID", base::FieldType::kText},
                                          {"Qty", base::FieldType::kCurrency}};

std::vector<base::Value> RowOf(int i) {
  return {base::Value("bill " + std::to_string(i)), base::Currency::FromScaled(i * 10000)};
}

// An answer within the limit is held for the caller; a larger one reaches
// the client while the query runs and ends as the whole answer would.
TEST(StreamedAnswerTest, RowsAreHeldWithinTheLimitAndBeyondItSentAsRead) {
  base::Rowset whole(kFields);
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(whole.AddRow(RowOf(i)).ok());
  const std::string expected =
      "{\"byref\":{\"vstrErr\":\"\"},\"result\":" + Dump(RowsetToJson(whole)) + "}";
  {
    CapturingStream stream;
    RequestHead head;
    ResponseWriter out(stream, head, 1000);
    StreamedAnswer held(out, 1 << 20, [] { return std::string("{}"); });
    ASSERT_TRUE(held.Begin(kFields).ok());
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(held.Row(RowOf(i)).ok());
    EXPECT_FALSE(held.sending());
    EXPECT_EQ(stream.sent, "");
    EXPECT_EQ(held.TakeHeld(), Dump(RowsetToJson(whole)));
  }

  const struct {
    const char* what;
    bool complete;  // the call succeeded with the values sent
    std::string final_byref;
  } cases[] = {
      {"completed", true, "{\"vstrErr\":\"\"}"},
      {"in/out values changed after the start", true, "{\"vstrErr\":\"failed\"}"},
      {"call failed after the start", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CapturingStream stream;
    RequestHead head;
    ResponseWriter out(stream, head, 1000);
    StreamedAnswer answer(out, 1024, [] { return std::string("{\"vstrErr\":\"\"}"); });
    ASSERT_TRUE(answer.Begin(kFields).ok());
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(answer.Row(RowOf(i)).ok());
    // Far more than one chunk went out before the call ended.
    EXPECT_TRUE(answer.sending());
    EXPECT_GT(stream.sent.size(), 64u * 1024);
    EXPECT_EQ(stream.sent.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(stream.sent.find("Transfer-Encoding: chunked\r\n"), std::string::npos);

    const bool completed = c.complete && answer.Complete(c.final_byref);
    if (!c.complete) answer.CutOff();
    const bool finished = out.Finish();
    const bool whole_answer = c.complete && c.final_byref == "{\"vstrErr\":\"\"}";
    EXPECT_EQ(completed, whole_answer);
    EXPECT_EQ(finished, whole_answer);
    const bool terminated =
        stream.sent.size() >= 5 && stream.sent.compare(stream.sent.size() - 5, 5, "0\r\n\r\n") == 0;
    EXPECT_EQ(terminated, whole_answer);
    if (whole_answer) {
      EXPECT_EQ(testing_support::ChunkedBody(stream.sent), expected);
    }
  }
}

}  // namespace
}  // namespace server
