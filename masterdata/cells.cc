#include "masterdata/cells.h"

#include <charconv>
#include <cstdint>

namespace masterdata {
namespace {

base::Err Refusal(const std::string& what) { return base::MakeErr(base::kErrTypeMismatch, what); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

base::Result<base::Value> ParseInt(const std::string& text) {
  int64_t v = 0;
  const char* begin = text.data() + (text[0] == '+' && text.size() > 1 && text[1] != '-' ? 1 : 0);
  auto [p, ec] = std::from_chars(begin, text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || v < INT32_MIN || v > INT32_MAX) {
    return Refusal("not a whole number: '" + text + "'");
  }
  return base::Value(static_cast<int32_t>(v));
}

// Digits after the decimal point, when `text` is otherwise a plain number.
size_t Decimals(const std::string& text) {
  const size_t dot = text.find('.');
  if (dot == std::string::npos) return 0;
  for (size_t i = dot + 1; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return 0;
  }
  return text.size() - dot - 1;
}

base::Result<base::Value> ParseCurrency(const std::string& text) {
  auto c = base::Currency::Parse(text);
  if (c.ok()) return base::Value(*c);
  if (Decimals(text) > 4) return Refusal("more than 4 decimals: '" + text + "'");
  if (c.err().number == base::kErrOverflow) return Refusal("too large: '" + text + "'");
  return Refusal("not a number: '" + text + "'");
}

base::Result<base::Value> ParseDate(const std::string& text) {
  const bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-' && IsDigit(text[0]) &&
                      IsDigit(text[1]) && IsDigit(text[2]) && IsDigit(text[3]) &&
                      IsDigit(text[5]) && IsDigit(text[6]) && IsDigit(text[8]) && IsDigit(text[9]);
  if (!shaped) return Refusal("not a date (yyyy-mm-dd): '" + text + "'");
  auto d = base::DateTime::FromParts(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                                     std::stoi(text.substr(8, 2)));
  if (!d.ok()) return Refusal("no such date: '" + text + "'");
  return base::Value(*d);
}

}  // namespace

bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t more = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + more >= text.size()) return false;
    for (size_t k = 1; k <= more; ++k) {
      const unsigned char d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

base::Result<base::Value> ParseCell(CellType type, const std::string& text) {
  switch (type) {
    case CellType::kText:
      if (!IsUtf8(text)) return Refusal("not UTF-8 text");
      return base::Value(text);
    case CellType::kInt:
      return ParseInt(text);
    case CellType::kCurrency:
      return ParseCurrency(text);
    case CellType::kDate:
      return ParseDate(text);
    case CellType::kFlag:
      if (text == "0" || text == "1") return base::Value(static_cast<int32_t>(text[0] - '0'));
      return Refusal("not 0 or 1: '" + text + "'");
  }
  return Refusal("unknown cell type");
}

std::string FormatCell(const base::Value& value) {
  if (value.IsNull()) return "";
  if (value.Is(base::FieldType::kCurrency)) return value.AsCurrency()->ToPlainString();
  if (value.Is(base::FieldType::kDate)) return value.AsDate()->FormatDate();
  return value.TextOrEmpty();
}

base::FieldType FieldTypeOf(CellType type) {
  switch (type) {
    case CellType::kText:
      return base::FieldType::kText;
    case CellType::kInt:
    case CellType::kFlag:
      return base::FieldType::kInt;
    case CellType::kCurrency:
      return base::FieldType::kCurrency;
    case CellType::kDate:
      return base::FieldType::kDate;
  }
  return base::FieldType::kText;
}

}  // namespace masterdata
