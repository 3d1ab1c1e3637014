#include "frame/showmsg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "platform/event_log.h"

namespace frame {
namespace {

class ShowmsgTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("PLEXAVO_NO_SYSLOG", "1", 1); }
};

struct LangCase {
  const char* lang;
  const char* expected;
};

TEST_F(ShowmsgTest, OnlyUpperCaseTSelectsTraditional) {
  const LangCase cases[] = {
      {"T", "沒有生產領料單的讀權限！"},  {"t", "没有生产领料单的读权限！"},
      {"", "没有生产领料单的读权限！"},   {"S", "没有生产领料单的读权限！"},
      {" T", "没有生产领料单的读权限！"}, {"T ", "没有生产领料单的读权限！"},
  };
  for (const LangCase& c : cases) {
    SCOPED_TRACE(std::string("lang='") + c.lang + "'");
    EXPECT_EQ(Showmsg(kMsgNoReadRight, c.lang, ""), c.expected);
  }
}

struct FillCase {
  int32_t id;
  const char* lang;
  std::string param;
  std::string expected;
};

TEST_F(ShowmsgTest, FillsPlaceholder) {
  const std::string number = "SCLL20240017";
  const FillCase cases[] = {
      {10170, "", number, "没有找到编号为 " + number + " 的生产领料单！"},
      {10170, "T", number, "沒有找到編號爲 " + number + " 的生產領料單！"},
      {10050, "T", "x", "編號爲 x 的生產領料單已經執行，不能修改及刪除！"},
      {10050, "", "x", "编号为 x 的生产领料单已经执行，不能修改及删除！"},
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
  for (const FillCase& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + " lang '" + c.lang + "' param '" + c.param + "'");
    EXPECT_EQ(Showmsg(c.id, c.lang, c.param), c.expected);
  }
  EXPECT_TRUE(capture.Records().empty());
}

struct FillMessageCase {
  const char* text;
  const char* param;
  const char* expected;
};

TEST(ShowmsgFillMessageTest, UpperCasesThenReplacesEveryPlaceholder) {
  const FillMessageCase cases[] = {
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
  for (const FillMessageCase& c : cases) {
    SCOPED_TRACE(std::string("text '") + c.text + "' param '" + c.param + "'");
    EXPECT_EQ(FillMessage(c.text, c.param), c.expected);
  }
}

struct MissingCase {
  int32_t id;
  const char* lang;
  const char* looked_up;
};

TEST_F(ShowmsgTest, IdOutsideCatalogueGivesEmptyTextAndOneRecord) {
  const MissingCase cases[] = {
      {10420, "", "10420"},  {10420, "T", "20420"},
      {10420, "t", "10420"}, {10720, "T", "20720"},
      {20170, "T", "30170"}, {0, "", "0"},
      {-10, "T", "9990"},    {std::numeric_limits<int32_t>::max(), "T", "2147493647"},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + " lang '" + c.lang + "'");
    platform::EventLogCapture capture;
    EXPECT_EQ(Showmsg(c.id, c.lang, "param"), "");
    const std::vector<std::string> records = capture.Records();
    ASSERT_EQ(records.size(), 1u);
    const std::string& record = records[0];
    const size_t eol = record.find("\r\n");
    ASSERT_NE(eol, std::string::npos);
    EXPECT_EQ(record.substr(0, eol), "Method: Plexavo_Bas.Showmsg");
    EXPECT_NE(record.find("\r\n Err.Number: 326\r\n"), std::string::npos) << record;
    EXPECT_NE(record.find(std::string("\r\n Err.Description: Resource with identifier '") +
                          c.looked_up + "' not found\r\n"),
              std::string::npos)
        << record;
  }
}

struct CatalogueCase {
  int32_t id;
  const char* text;
};

TEST(CatalogueTest, SpotChecks) {
  const CatalogueCase cases[] = {
      {kMsgRemarkTooLong, "备注长度不能大于255！"},
      {kMsgRemarkTooLong + kTraditionalOffset, "備註長度不能大於255！"},
      {kMsgNoReadRight, "没有生产领料单的读权限！"},
      {kMsgBillNotFound, "没有找到编号为 %s 的生产领料单！"},
      {kMsgBillNotFound + kTraditionalOffset, "沒有找到編號爲 %s 的生產領料單！"},
      {kMsgDuplicateBillNumber + kTraditionalOffset, "生產領料單編號重復！"},
      {kMsgExecuteBeforeBillDate + kTraditionalOffset, "執行日期不能早于制單日期！"},
      {kMsgEditOnlyOwn, "只能修改/删除自己制作的生产通知单！"},
      {kMsgLocationBalanceShort, "在指定的货位中余额(%s) 不足。执行终止！"},
      {kMsgLaterStockOutBlocksReverse + kTraditionalOffset,
       "在%s中已經執行出庫，且執行的時間在本單執行時間以後。物品採用移動加權平均計算庫存成本，"
       "若執行本單將會影響庫存成本計算。反執行終止！"},
      {kMsgNoReverseExecuteRight, "没有生产领料单的反执行权限！"},
      {kMsgNoReverseExecuteRight + kTraditionalOffset, "沒有生産領料單的反執行權限！"},
  };
  for (const CatalogueCase& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id));
    const char* text = CatalogueText(c.id);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(CatalogueTest, HoldsExactly74MessagesInEachHalf) {
  std::set<int32_t> simplified;
  std::set<int32_t> traditional;
  for (int32_t id = -1000; id <= 40000; ++id) {
    if (CatalogueText(id) == nullptr) continue;
    if (id >= 10000 && id < 20000) {
      simplified.insert(id);
    } else if (id >= 20000 && id < 30000) {
      traditional.insert(id);
    } else {
      ADD_FAILURE() << "unexpected id " << id;
    }
  }
  EXPECT_EQ(CatalogueText(std::numeric_limits<int32_t>::max()), nullptr);
  EXPECT_EQ(CatalogueText(std::numeric_limits<int32_t>::min()), nullptr);

  std::set<int32_t> expected;
  for (int32_t id = 10010; id <= 10840; id += 10) {
    if (id == 10420 || (id >= 10720 && id <= 10800)) continue;
    expected.insert(id);
  }
  ASSERT_EQ(expected.size(), 74u);
  EXPECT_EQ(simplified, expected);

  std::set<int32_t> shifted;
  for (int32_t id : traditional) shifted.insert(id - kTraditionalOffset);
  EXPECT_EQ(traditional.size(), 74u);
  EXPECT_EQ(shifted, simplified);
}

size_t CountPlaceholders(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + 2)) ++n;
  return n;
}

TEST(CatalogueTest, EachTextHasAtMostOnePlaceholderInBothHalves) {
  int with_placeholder = 0;
  for (int32_t id = 10010; id <= 10840; id += 10) {
    const char* simplified = CatalogueText(id);
    if (simplified == nullptr) continue;
    SCOPED_TRACE("id " + std::to_string(id));
    const char* traditional = CatalogueText(id + kTraditionalOffset);
    ASSERT_NE(traditional, nullptr);
    EXPECT_NE(std::string(simplified), "");
    EXPECT_NE(std::string(traditional), "");
    const size_t n = CountPlaceholders(simplified);
    EXPECT_LE(n, 1u);
    EXPECT_EQ(CountPlaceholders(traditional), n);
    EXPECT_EQ(std::string(simplified).find("%S"), std::string::npos);
    if (n == 1) ++with_placeholder;
  }
  // The messages that take a parameter.
  EXPECT_EQ(with_placeholder, 35);
}

TEST(CatalogueTest, FixedTexts) {
  EXPECT_STREQ(kBillCountError, "单据编号个数错误！");
  EXPECT_STREQ(kNotInTransaction, "对象没有在事务中！(Object Not In Transction!)");
  EXPECT_STREQ(kFunctionKill, "function kill");
}

}  // namespace
}  // namespace frame
