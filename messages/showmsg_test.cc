#include "messages/showmsg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "messages/catalogue.h"
#include "platform/event_log.h"

namespace messages {
namespace {

TEST(ShowmsgTest, PicksTheLanguageAndFillsThePlaceholder) {
  const struct {
    int32_t id;
    const char* lang;
    std::string param;
    std::string expected;
  } cases[] = {
      // Only an upper-case T alone selects Traditional (as below, where the
      // parameter is ignored).
      {kMsgNoReadRight, "t", "", "没有生产领料单的读权限！"},
      {kMsgNoReadRight, "S", "", "没有生产领料单的读权限！"},
      {kMsgNoReadRight, " T", "", "没有生产领料单的读权限！"},
      {kMsgNoReadRight, "T ", "", "没有生产领料单的读权限！"},
      {kMsgRemarkTooLong, "T", "", "備註長度不能大於255！"},
      {kMsgDuplicateBillNumber, "T", "", "生產領料單編號重復！"},
      {kMsgExecuteBeforeBillDate, "T", "", "執行日期不能早于制單日期！"},
      {kMsgLaterStockOutBlocksReverse, "T", "X",
       "在X中已經執行出庫，且執行的時間在本單執行時間以後。物品採用移動加權平均計算庫存成本，"
       "若執行本單將會影響庫存成本計算。反執行終止！"},
      {10050, "T", "x", "編號爲 x 的生產領料單已經執行，不能修改及刪除！"},
      // No placeholder: the parameter is ignored.
      {10140, "", "ignored", "没有生产领料单的读权限！"},
      {10140, "T", "ignored", "沒有生產領料單的讀權限！"},
      {10270, "T", "x", "爲"},
      // The parameter keeps its case and is not expanded again.
      {10210, "", "ab%sCd", "删除生产领料单ab%sCd！"},
      {10210, "", "ab%SCd", "删除生产领料单ab%SCd！"},
      {10280, "T", "lower", "新增生產領料單lower"},
      // An empty parameter removes the placeholder and keeps the spaces.
      {10170, "", "", "没有找到编号为  的生产领料单！"},
      {10390, "T", "", "只能反執行  以後執行的生產領料單！"},
      {10710, "T", "3.5", "在指定的貨位中餘額(3.5) 不足。執行終止！"},
      {10120, "", "2024-01-05", "根据2024-01-05的生产领料单"},
      {10810, "T", "", "沒有生産領料單的反執行權限！"},
      // A Traditional id given directly is found whatever the language.
      {20170, "", "A1", "沒有找到編號爲 A1 的生產領料單！"},
  };
  platform::EventLogCapture capture;
  for (const auto& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + " lang '" + c.lang + "' param '" + c.param + "'");
    EXPECT_EQ(Showmsg(c.id, c.lang, c.param), c.expected);
  }
  EXPECT_TRUE(capture.Records().empty());
}

TEST(ShowmsgFillMessageTest, UpperCasesThenReplacesEveryPlaceholder) {
  const struct {
    const char* text;
    const char* param;
    const char* expected;
  } cases[] = {
      {"", "x", ""},
      {"no placeholder", "x", "NO PLACEHOLDER"},
      {"%s", "p", "p"},
      {"%S", "p", "p"},
      {"a%sb%Sc%s", "xy", "AxyBxyCxy"},
      {"%s%s", "%s", "%s%s"},
      {"%%s", "1", "%1"},
      {"%", "1", "%"},
      {"s%", "1", "S%"},
      {"编号为 %s 的单", "aB", "编号为 aB 的单"},
      {"编号为 %s 的单", "", "编号为  的单"},
      {"ÄäZz", "", "ÄäZZ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text '") + c.text + "' param '" + c.param + "'");
    EXPECT_EQ(FillMessage(c.text, c.param), c.expected);
  }
}

TEST(ShowmsgTest, IdOutsideCatalogueGivesEmptyTextAndOneRecord) {
  const struct {
    int32_t id;
    const char* lang;
    const char* looked_up;
  } cases[] = {
      {10420, "", "10420"},  {10420, "T", "20420"},
      {10420, "t", "10420"}, {10720, "T", "20720"},
      {20170, "T", "30170"}, {0, "", "0"},
      {-10, "T", "9990"},    {std::numeric_limits<int32_t>::max(), "T", "2147493647"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + " lang '" + c.lang + "'");
    platform::EventLogCapture capture;
    EXPECT_EQ(Showmsg(c.id, c.lang, "param"), "");
    const std::vector<std::string> records = capture.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].substr(0, records[0].find("\r\n")), "Method: Plexavo_Bas.Showmsg");
    EXPECT_NE(records[0].find(std::string("\r\n Err.Number: 326\r\n Err.Description: Resource "
                                          "with identifier '") +
                              c.looked_up + "' not found\r\n"),
              std::string::npos)
        << records[0];
  }
}

size_t CountPlaceholders(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + 2)) ++n;
  return n;
}

// Both halves of the catalogue hold the same messages, each with the same
// number of placeholders (at most one).
TEST(CatalogueTest, BothHalvesHoldTheSameMessages) {
  for (int32_t id = 10000; id < 20000; ++id) {
    const char* simplified = CatalogueText(id);
    const char* traditional = CatalogueText(id + kTraditionalOffset);
    ASSERT_EQ(simplified == nullptr, traditional == nullptr) << id;
    if (simplified == nullptr) continue;
    SCOPED_TRACE("id " + std::to_string(id));
    EXPECT_NE(std::string(simplified), "");
    const size_t n = CountPlaceholders(simplified);
    EXPECT_LE(n, 1u);
    EXPECT_EQ(CountPlaceholders(traditional), n);
  }
  EXPECT_EQ(CatalogueText(std::numeric_limits<int32_t>::max()), nullptr);
  EXPECT_EQ(CatalogueText(std::numeric_limits<int32_t>::min()), nullptr);
}

}  // namespace
}  // namespace messages
