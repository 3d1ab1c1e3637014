// CSV as spreadsheets save it: fields separated by commas, records by LF or
// CRLF; a field that holds a comma, a double quote or a line break is
// enclosed in double quotes, with its quotes doubled. A UTF-8 byte-order
// mark before the first record is skipped.
//
// CsvReader reads one record at a time from a stream through a fixed
// buffer, so a file of any size costs the same memory.
#ifndef PLEXAVO_MASTERDATA_CSV_H_
#define PLEXAVO_MASTERDATA_CSV_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"

namespace masterdata {

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in), buffer_(kBufferSize) {}

  // Reads the next record into `fields` (reusing their storage). Answers
  // false at the end of the input; an error for a quote left open at the
  // end or text after a closing quote, naming the line.
  base::Result<bool> Next(std::vector<std::string>& fields);
  // The line the last record read began on, counting from 1.
  int64_t line() const { return record_line_; }

 private:
  static constexpr size_t kBufferSize = 1 << 16;
  // The next byte, or -1 at the end of the input.
  int Get();
  int Peek();

  std::istream& in_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool started_ = false;
  int64_t next_line_ = 1;
  int64_t record_line_ = 0;
};

class CsvWriter {
 public:
  explicit CsvWriter(std::ostream& out) : out_(out) {}
  // Writes one record, quoting the fields that need it, ended by CRLF.
  void Write(const std::vector<std::string>& fields);

 private:
  std::ostream& out_;
};

}  // namespace masterdata

#endif  // PLEXAVO_MASTERDATA_CSV_H_
