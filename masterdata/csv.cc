#include "masterdata/csv.h"

namespace masterdata {
namespace {

bool NeedsQuotes(const std::string& field) {
  return field.find_first_of(",\"\r\n") != std::string::npos;
}

base::Err BadCsv(int64_t line, const std::string& what) {
  return base::MakeErr(base::kErrInvalidArgument, "line " + std::to_string(line) + ": " + what);
}

}  // namespace

int CsvReader::Peek() {
  if (pos_ == end_) {
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    end_ = static_cast<size_t>(in_.gcount());
    pos_ = 0;
    if (end_ == 0) return -1;
  }
  return static_cast<unsigned char>(buffer_[pos_]);
}

int CsvReader::Get() {
  const int c = Peek();
  if (c >= 0) ++pos_;
  return c;
}

base::Result<bool> CsvReader::Next(std::vector<std::string>& fields) {
  if (!started_) {
    started_ = true;
    // A byte-order mark, as some spreadsheets write before the header.
    if (Peek() == 0xEF) {
      const std::string bom = "\xEF\xBB\xBF";
      size_t matched = 0;
      while (matched < 3 && Peek() == static_cast<unsigned char>(bom[matched])) {
        Get();
        ++matched;
      }
      if (matched != 3) return BadCsv(1, "the file does not start with UTF-8 text");
    }
  }
  if (Peek() < 0) return false;
  record_line_ = next_line_;
  size_t count = 0;
  auto field = [&]() -> std::string& {
    if (fields.size() <= count) fields.emplace_back();
    std::string& f = fields[count++];
    f.clear();
    return f;
  };
  std::string* current = &field();
  for (;;) {
    int c = Get();
    if (c == '"' && current->empty()) {
      // A quoted field: up to the quote that is not doubled.
      for (;;) {
        c = Get();
        if (c < 0) return BadCsv(record_line_, "a quoted field is not closed");
        if (c == '"') {
          if (Peek() != '"') break;
          Get();
        }
        if (c == '\n') ++next_line_;
        current->push_back(static_cast<char>(c));
      }
      c = Get();
      if (c == '\r' && Peek() == '\n') c = Get();
      if (c >= 0 && c != ',' && c != '\n') {
        return BadCsv(record_line_, "text after the closing quote of a field");
      }
    } else {
      while (c >= 0 && c != ',' && c != '\n') {
        if (c == '\r' && Peek() == '\n') {
          c = Get();
          break;
        }
        current->push_back(static_cast<char>(c));
        c = Get();
      }
    }
    if (c == ',') {
      current = &field();
      continue;
    }
    if (c == '\n') ++next_line_;
    break;
  }
  fields.resize(count);
  return true;
}

void CsvWriter::Write(const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out_ << ',';
    const std::string& f = fields[i];
    if (!NeedsQuotes(f)) {
      out_ << f;
      continue;
    }
    out_ << '"';
    for (char c : f) {
      if (c == '"') out_ << '"';
      out_ << c;
    }
    out_ << '"';
  }
  out_ << "\r\n";
}

}  // namespace masterdata
