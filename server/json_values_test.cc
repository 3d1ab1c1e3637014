#include "server/json_values.h"

#include <gtest/gtest.h>

namespace server {
namespace {

using boundary::ParamType;
using T = boundary::ParamType;
using boundary::Variant;

base::DateTime Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return *base::DateTime::FromParts(y, m, d, hh, mm, ss);
}

Json Parsed(const std::string& text) {
  auto j = ParseJson(text);
  EXPECT_TRUE(j.ok()) << text;
  return j.ok() ? *j : Json();
}

base::Value Cur(int64_t scaled) { return base::Value(base::Currency::FromScaled(scaled)); }

// A JSON value read as a parameter type: the value, written back as the
// answers write it, or the refusal naming the argument.
TEST(JsonValuesTest, ReadsAndWritesEachTypeOrRefusesNamingTheArgument) {
  const std::string kCur =
      "argument x must be a currency value with at most four decimals (a string such as "
      "\"12.3400\" or a number), not ";
  const std::string kDate = "argument x must be a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\"";
  const std::string kInt = "argument x must be a 32-bit integer";
  const std::string kShape =
      " (a rowset is {\"fields\": [{\"name\": N, \"type\": T}, ...], \"rows\": [[...], ...]} or "
      "null)";
  const std::string kIntField = R"({"fields":[{"name":"a","type":"int"}],)";
  const struct {
    std::string json;
    ParamType type;
    base::Value value;
    std::string written;  // the value written back
  } reads[] = {
      {R"("a \"b\"")", T::kText, base::Value("a \"b\""), R"("a \"b\"")"},
      {R"("")", T::kText, base::Value(""), R"("")"},
      {R"("2026-05-01")", T::kDate, base::Value(Date(2026, 5, 1)), R"("2026-05-01")"},
      {R"("2026-05-01T13:45:07")", T::kDate, base::Value(Date(2026, 5, 1, 13, 45, 7)),
       R"("2026-05-01T13:45:07")"},
      {"2147483647", T::kInt, base::Value(int32_t{2147483647}), "2147483647"},
      {"-2147483648", T::kInt, base::Value(int32_t{-2147483647 - 1}), "-2147483648"},
      {R"("12.34")", T::kCurrency, Cur(123400), R"("12.3400")"},
      {"12.3456", T::kCurrency, Cur(123456), R"("12.3456")"},
      {"0.1", T::kCurrency, Cur(1000), R"("0.1000")"},
      {"-0.5", T::kCurrency, Cur(-5000), R"("-0.5000")"},
      {"-7", T::kCurrency, Cur(-70000), R"("-7.0000")"},
      {"true", T::kBool, base::Value(true), "true"},
      {"false", T::kBool, base::Value(false), "false"},
  };
  for (const auto& c : reads) {
    SCOPED_TRACE(c.json);
    auto v = FromJson(Parsed(c.json), c.type, "x");
    ASSERT_TRUE(v.ok()) << v.err().description;
    EXPECT_EQ(v->type, c.type);
    EXPECT_EQ(v->value, c.value);
    EXPECT_EQ(Dump(ToJson(*v)), c.written);
  }
  const struct {
    std::string json;
    ParamType type;
    std::string error;
  } refusals[] = {
      {"5", T::kText, "argument x must be a string, not an integer"},
      {"null", T::kText, "argument x must be text, not null"},
      {"null", T::kInt, "argument x must be int, not null"},
      {R"("2026-5-1")", T::kDate, kDate + ", not \"2026-5-1\""},
      {R"("2026-05-01 13:45:00")", T::kDate, kDate + ", not \"2026-05-01 13:45:00\""},
      {R"("2026-02-30")", T::kDate, "argument x: \"2026-02-30\" is no valid date"},
      {"20260501", T::kDate, kDate + ", not an integer"},
      {"1.0", T::kInt, kInt + ", not 1.0"},
      {R"("5")", T::kInt, kInt + ", not a string"},
      {"2147483648", T::kInt, kInt + ", 2147483648 is out of range"},
      {"-2147483649", T::kInt, kInt + ", -2147483649 is out of range"},
      {R"("12.34567")", T::kCurrency, kCur + "\"12.34567\""},
      {"12.34567", T::kCurrency, kCur + "12.34567"},
      {"1e2", T::kCurrency, kCur + "1e2"},
      {"true", T::kCurrency, kCur + "a Boolean"},
      {"922337203685478", T::kCurrency, "argument x: 922337203685478 is out of the currency range"},
      {"1", T::kBool, "argument x must be true or false, not an integer"},
      {R"("true")", T::kBool, "argument x must be true or false, not a string"},
      {"[]", T::kRowset, "argument x must be a rowset or null, not an array" + kShape},
      {R"({"fields":[]})", T::kRowset, "argument x needs a \"rows\" array" + kShape},
      {R"({"rows":[]})", T::kRowset, "argument x needs a \"fields\" array" + kShape},
      {R"({"fields":[],"rows":[],"x":1})", T::kRowset,
       "argument x has an unknown member \"x\"" + kShape},
      {R"({"fields":[{"name":"a","type":"float"}],"rows":[]})", T::kRowset,
       "argument x, field 1: \"type\" must be one of \"text\", \"date\", \"int\", \"currency\", "
       "\"bool\""},
      {R"({"fields":[{"name":"","type":"int"}],"rows":[]})", T::kRowset,
       "argument x, field 1: \"name\" must be a non-empty string"},
      {R"({"fields":[{"name":"a"}],"rows":[]})", T::kRowset,
       "argument x, field 1 must be an object with exactly \"name\" and \"type\""},
      {kIntField + R"("rows":[[1,2]]})", T::kRowset,
       "argument x, row 1 must be an array of 1 values"},
      {kIntField + R"("rows":[[1],["x"]]})", T::kRowset,
       "argument x, row 2, field a must be a 32-bit integer, not a string"},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.json);
    auto v = FromJson(Parsed(c.json), c.type, "x");
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.err().description, c.error);
  }
  auto none = FromJson(Parsed("null"), T::kRowset, "r");
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none->rowset.has_value());
  EXPECT_EQ(Dump(ToJson(*none)), "null");
  // A null text, as a database gives it, is written as null.
  EXPECT_EQ(Dump(ToJson(Variant{ParamType::kText, base::Value(), {}})), "null");
}

TEST(JsonValuesTest, ReadsAndWritesRowsets) {
  const std::string in =
      R"({"fields":[{"name":"T","type":"text"},{"name":"D","type":"date"},)"
      R"({"name":"I","type":"int"},{"name":"C","type":"currency"},{"name":"B","type":"bool"}],)"
      R"("rows":[["a","2026-01-02",3,1.5,true],[null,null,null,"-0.0001",null]]})";
  auto v = FromJson(Parsed(in), ParamType::kRowset, "r");
  ASSERT_TRUE(v.ok()) << v.err().description;
  ASSERT_TRUE(v->rowset.has_value());
  const base::Rowset& rs = *v->rowset;
  ASSERT_EQ(rs.RecordCount(), 2u);
  EXPECT_EQ(rs.Row(0),
            (std::vector<base::Value>{base::Value("a"), base::Value(Date(2026, 1, 2)),
                                      base::Value(int32_t{3}), Cur(15000), base::Value(true)}));
  EXPECT_TRUE(rs.Row(1)[0].IsNull());
  EXPECT_EQ(rs.Row(1)[3], Cur(-1));
  EXPECT_EQ(Dump(ToJson(*v)),
            R"({"fields":[{"name":"T","type":"text"},{"name":"D","type":"date"},)"
            R"({"name":"I","type":"int"},{"name":"C","type":"currency"},)"
            R"({"name":"B","type":"bool"}],"rows":[["a","2026-01-02",3,"1.5000",true],)"
            R"([null,null,null,"-0.0001",null]]})");
}

TEST(JsonValuesTest, ParsingKeepsFractionalNumbersAsText) {
  Json j = Parsed(R"([0.1, 123456789012345678901234567890, 7, -3])");
  ASSERT_TRUE(IsRawNumber(j[0]));
  EXPECT_EQ(std::string(j[0].get_binary().begin(), j[0].get_binary().end()), "0.1");
  ASSERT_TRUE(IsRawNumber(j[1]));  // beyond 64 bits: kept as text, not rounded
  EXPECT_TRUE(j[2].is_number_unsigned());
  EXPECT_TRUE(j[3].is_number_integer());
  for (const std::string bad : {"", "{", "[1,]", "{\"a\" 1}", "\"\xff\"", "tru"}) {
    auto r = ParseJson(bad);
    ASSERT_FALSE(r.ok()) << bad;
    EXPECT_EQ(r.err().description.rfind("malformed JSON: ", 0), 0u) << r.err().description;
  }
  // Text that is no valid UTF-8 is still written, never thrown.
  EXPECT_EQ(Dump(Json("a\xff")), "\"a\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace server
