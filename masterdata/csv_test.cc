#include "masterdata/csv.h"

#include <gtest/gtest.h>

#include <sstream>

#include "masterdata/cells.h"

namespace masterdata {
namespace {

// The records read up to the end, each as its line number and its fields
// in brackets ("2[a][b]"), space-separated, then the refusal if one came.
std::string ReadAll(const std::string& text) {
  std::istringstream in(text);
  CsvReader csv(in);
  std::string read;
  std::vector<std::string> fields;
  for (;;) {
    auto more = csv.Next(fields);
    if (!more.ok()) return read + more.err().description;
    if (!*more) return read;
    read += std::to_string(csv.line());
    for (const std::string& f : fields) read += "[" + f + "]";
    read += " ";
  }
}

// Records read up to the end or to a refusal, which names its line.
TEST(CsvReaderTest, ReadsWhatSpreadsheetsWriteAndRefusesBrokenQuoting) {
  const std::string big(200000, 'x');  // longer than the reader's buffer
  const struct {
    const char* name;
    std::string text;
    std::string read;
  } cases[] = {
      {"plain, LF", "a,b\n1,2\n", "1[a][b] 2[1][2] "},
      {"CRLF, no final line end", "a,b\r\n1,2", "1[a][b] 2[1][2] "},
      {"byte-order mark", "\xEF\xBB\xBFID\n7\n", "1[ID] 2[7] "},
      {"empty fields", ",x,\n", "1[][x][] "},
      {"quoted comma and quote", "\"a,b\",\"say \"\"hi\"\"\"\n", "1[a,b][say \"hi\"] "},
      {"quoted LF", "h\n\"one\ntwo\"\nnext\n", "1[h] 2[one\ntwo] 4[next] "},
      {"quoted empty field", "\"\",1\n", "1[][1] "},
      {"blank line is one empty field", "a\n\nb\n", "1[a] 2[] 3[b] "},
      {"a quote inside an unquoted field is kept", "5\"x,y\n", "1[5\"x][y] "},
      {"UTF-8 kept byte for byte", "六角螺栓 M6×20\n", "1[六角螺栓 M6×20] "},
      {"past the buffer", "\"" + big + "\"," + big + "\nz\n", "1[" + big + "][" + big + "] 2[z] "},
      {"quote not closed", "a\n\"open\nstill open", "1[a] line 2: a quoted field is not closed"},
      {"text after a closing quote", "a\nb\n\"x\"y,1\n",
       "1[a] 2[b] line 3: text after the closing quote of a field"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadAll(c.text), c.read) << c.name;
}

TEST(CsvWriterTest, QuotesOnlyWhatNeedsItAndReadsBack) {
  std::ostringstream out;
  CsvWriter(out).Write({"plain", "", "a,b", "say \"hi\"", "two\nlines", "cr\r"});
  EXPECT_EQ(out.str(), "plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\"\r\n");
  EXPECT_EQ(ReadAll(out.str()), "1[plain][][a,b][say \"hi\"][two\nlines][cr\r] ");
}

TEST(CellsTest, ParsesEachTypeExactly) {
  const struct {
    CellType type;
    std::string text;
    std::string formatted;  // FormatCell of the value, or the refusal
  } cases[] = {
      {CellType::kCurrency, "12", "12"},
      {CellType::kCurrency, "-0.3333", "-0.3333"},
      {CellType::kCurrency, "922337203685477.5807", "922337203685477.5807"},
      {CellType::kCurrency, "1.23456", "more than 4 decimals: '1.23456'"},
      {CellType::kCurrency, "1,5", "not a number: '1,5'"},
      {CellType::kCurrency, "922337203685478", "too large: '922337203685478'"},
      {CellType::kInt, "+42", "42"},
      {CellType::kInt, "-7", "-7"},
      {CellType::kInt, "2147483648", "not a whole number: '2147483648'"},
      {CellType::kInt, "4.0", "not a whole number: '4.0'"},
      {CellType::kInt, "+-4", "not a whole number: '+-4'"},
      {CellType::kDate, "2024-02-29", "2024-02-29"},
      {CellType::kDate, "2026-02-29", "no such date: '2026-02-29'"},
      {CellType::kDate, "2026-13-01", "no such date: '2026-13-01'"},
      {CellType::kDate, "2026/01/01", "not a date (yyyy-mm-dd): '2026/01/01'"},
      {CellType::kDate, "2026-1-1", "not a date (yyyy-mm-dd): '2026-1-1'"},
      {CellType::kFlag, "1", "1"},
      {CellType::kFlag, "true", "not 0 or 1: 'true'"},
      {CellType::kText, " spaced , kept ", " spaced , kept "},
      {CellType::kText, "bad \xC3(", "not UTF-8 text"},
      {CellType::kText, "\xED\xA0\x80", "not UTF-8 text"},  // a surrogate
      {CellType::kText, "\xC0\xAF", "not UTF-8 text"},      // overlong
      {CellType::kText, "\xE6\x97", "not UTF-8 text"},      // cut short
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = ParseCell(c.type, c.text);
    EXPECT_EQ(v.ok() ? FormatCell(*v) : v.err().description, c.formatted);
  }
}

}  // namespace
}  // namespace masterdata
