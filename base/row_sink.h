// RowSink: takes a result set's rows one at a time, as they are read from
// the database, so that a large result never has to be held whole.
#ifndef PLEXAVO_BASE_ROW_SINK_H_
#define PLEXAVO_BASE_ROW_SINK_H_

#include <vector>

#include "base/result.h"
#include "base/rowset.h"

namespace base {

class RowSink {
 public:
  virtual ~RowSink() = default;
  // The result's fields, before its first row.
  virtual Status Begin(const std::vector<Field>& fields) = 0;
  // One row, each value NULL or of its field's type; an error stops the
  // reading and fails the query with it.
  virtual Status Row(const std::vector<Value>& values) = 0;
};

}  // namespace base

#endif  // PLEXAVO_BASE_ROW_SINK_H_
