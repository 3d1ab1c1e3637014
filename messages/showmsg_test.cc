#include "messages/showmsg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "messages/catalogue.h"
#include "messages/format_err.h"
#include "platform/event_log.h"

namespace messages {
namespace {

TEST(ShowmsgTest, PicksTheLanguageAndFillsThePlaceholder) {
  platform::EventLogCapture capture;
  // Only an upper-case T alone selects Traditional (as below, where the
  // parameter is ignored).
  EXPECT_EQ(Showmsg(kMsgNoReadRight, "t", ""), "没有生产领料单的读权限！");
  EXPECT_EQ(Showmsg(kMsgNoReadRight, "S", ""), "没有生产领料单的读权限！");
  EXPECT_EQ(Showmsg(kMsgNoReadRight, " T", ""), "没有生产领料单的读权限！");
  EXPECT_EQ(Showmsg(kMsgNoReadRight, "T ", ""), "没有生产领料单的读权限！");
  EXPECT_EQ(Showmsg(kMsgRemarkTooLong, "T", ""), "備註長度不能大於255！");
  EXPECT_EQ(Showmsg(kMsgDuplicateBillNumber, "T", ""), "生產領料單編號重復！");
  EXPECT_EQ(Showmsg(kMsgExecuteBeforeBillDate, "T", ""), "執行日期不能早于制單日期！");
  EXPECT_EQ(Showmsg(kMsgLaterStockOutBlocksReverse, "T", "X"),
            "在X中已經執行出庫，且執行的時間在本單執行時間以後。物品採用移動加權平均計算庫存成本，"
            "若執行本單將會影響庫存成本計算。反執行終止！");
  EXPECT_EQ(Showmsg(10050, "T", "x"), "編號爲 x 的生產領料單已經執行，不能修改及刪除！");
  // No placeholder: the parameter is ignored.
  EXPECT_EQ(Showmsg(10140, "", "ignored"), "没有生产领料单的读权限！");
  EXPECT_EQ(Showmsg(10270, "T", "x"), "爲");
  // The parameter keeps its case.
  EXPECT_EQ(Showmsg(10280, "T", "lower"), "新增生產領料單lower");
  // An empty parameter removes the placeholder and keeps the spaces.
  EXPECT_EQ(Showmsg(10390, "T", ""), "只能反執行  以後執行的生產領料單！");
  EXPECT_EQ(Showmsg(10710, "T", "3.5"), "在指定的貨位中餘額(3.5) 不足。執行終止！");
  EXPECT_EQ(Showmsg(10810, "T", ""), "沒有生産領料單的反執行權限！");
  // A Traditional id given directly is found whatever the language.
  EXPECT_EQ(Showmsg(20170, "", "A1"), "沒有找到編號爲 A1 的生產領料單！");
  EXPECT_TRUE(capture.Records().empty());
}

TEST(ShowmsgFillMessageTest, UpperCasesThenReplacesEveryPlaceholder) {
  EXPECT_EQ(FillMessage("", "x"), "");
  EXPECT_EQ(FillMessage("no placeholder", "x"), "NO PLACEHOLDER");
  EXPECT_EQ(FillMessage("%s", "p"), "p");
  EXPECT_EQ(FillMessage("%S", "p"), "p");
  EXPECT_EQ(FillMessage("a%sb%Sc%s", "xy"), "AxyBxyCxy");
  EXPECT_EQ(FillMessage("%s%s", "%s"), "%s%s");
  EXPECT_EQ(FillMessage("%%s", "1"), "%1");
  EXPECT_EQ(FillMessage("%", "1"), "%");
  EXPECT_EQ(FillMessage("s%", "1"), "S%");
  EXPECT_EQ(FillMessage("编号为 %s 的单", "aB"), "编号为 aB 的单");
  EXPECT_EQ(FillMessage("编号为 %s 的单", ""), "编号为  的单");
  EXPECT_EQ(FillMessage("ÄäZz", ""), "ÄäZZ");  // only ASCII letters
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

TEST(FormatErrTest, WritesTheFiveLineRecordAndComposesTheText) {
  platform::EventLogCapture log;
  EXPECT_EQ(FormatErr("Plexavo.GetContent", base::Err{5, "s", "d"}), "5-d-s-Plexavo.GetContent");
  EXPECT_EQ(FormatErr("M", base::Err{-2147217873, "", ""}), "-2147217873---M");
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lX", platform::CurrentThreadId());
  const auto records = log.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], std::string("Method: Plexavo.GetContent\r\n Thread ID: 0x") + tid +
                            "\r\n Err.Number: 5\r\n Err.Description: d\r\n Err.Source: s");
}

}  // namespace
}  // namespace messages
