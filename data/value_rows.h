// ValueRows: a set of rows sent in one statement instead of one statement
// per row. The rows go into a VALUES list of bound placeholders between the
// statement's `head` and `tail`:
//
//   Insert Into T(A, B) VALUES (:r0c0, :r0c1), (:r1c0, :r1c1)
//   Update T Set ... From (VALUES ...) AS v Where T.A = v.column1
//   Select ... From T Where (A, B) In (VALUES ...)
//
// The columns of such a list are named column1, column2, ... on both
// backends. Where the list stands on its own (a FROM or IN list), PostgreSQL
// cannot tell its placeholders' types; with `typed` set each one is written
// with the dialect's cast for its column's type. An INSERT takes its types
// from the target columns and needs none.
//
// A large set is sent in chunks whose sizes are powers of two, largest
// first, so that a statement of any number of rows is one of a few texts
// that the session's statement cache keeps prepared.
#ifndef PLEXAVO_DATA_VALUE_ROWS_H_
#define PLEXAVO_DATA_VALUE_ROWS_H_

#include <string>
#include <vector>

#include "base/result.h"
#include "base/rowset.h"
#include "base/value.h"
#include "data/connection.h"

namespace data {

inline constexpr size_t kMaxRowsPerStatement = 32;

struct RowStatement {
  std::string head;
  std::string tail;
  std::vector<base::FieldType> columns;
  bool typed = false;
};

// The chunk sizes in which `n` rows are sent, in order.
std::vector<size_t> RowChunks(size_t n);

// The statement for rows [first, first + count) of `rows`.
Sql RowsSql(const Dialect& dialect, const RowStatement& statement,
            const std::vector<std::vector<base::Value>>& rows, size_t first, size_t count);

// Runs the statement over all rows; answers the rows changed in total.
base::Result<int64_t> ExecuteRows(Connection& cnn, const RowStatement& statement,
                                  const std::vector<std::vector<base::Value>>& rows);

// Runs the query over all rows; the answers of the chunks in one rowset.
base::Result<base::Rowset> QueryRows(Connection& cnn, const RowStatement& statement,
                                     const std::vector<std::vector<base::Value>>& rows,
                                     const std::vector<base::Field>& fields);

}  // namespace data

#endif  // PLEXAVO_DATA_VALUE_ROWS_H_
