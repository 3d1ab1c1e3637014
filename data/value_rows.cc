#include "data/value_rows.h"

namespace data {

std::vector<size_t> RowChunks(size_t n) {
  std::vector<size_t> chunks;
  for (size_t size = kMaxRowsPerStatement; n > 0; size /= 2) {
    while (n >= size) {
      chunks.push_back(size);
      n -= size;
    }
  }
  return chunks;
}

Sql RowsSql(const Dialect& dialect, const RowStatement& statement,
            const std::vector<std::vector<base::Value>>& rows, size_t first, size_t count) {
  Sql sql(statement.head + "VALUES ");
  for (size_t r = 0; r < count; ++r) {
    sql.text += r == 0 ? "(" : ", (";
    for (size_t c = 0; c < statement.columns.size(); ++c) {
      std::string name = "r" + std::to_string(r) + "c" + std::to_string(c);
      const std::string placeholder = ":" + name;
      if (c > 0) sql.text += ", ";
      sql.text += statement.typed ? dialect.Typed(placeholder, statement.columns[c]) : placeholder;
      sql.Bind(std::move(name), rows[first + r][c]);
    }
    sql.text += ")";
  }
  sql.text += statement.tail;
  return sql;
}

base::Result<int64_t> ExecuteRows(Connection& cnn, const RowStatement& statement,
                                  const std::vector<std::vector<base::Value>>& rows) {
  int64_t changed = 0;
  size_t first = 0;
  for (size_t count : RowChunks(rows.size())) {
    PLX_ASSIGN_OR_RETURN(int64_t n,
                         cnn.Execute(RowsSql(cnn.dialect(), statement, rows, first, count)));
    changed += n;
    first += count;
  }
  return changed;
}

base::Result<base::Rowset> QueryRows(Connection& cnn, const RowStatement& statement,
                                     const std::vector<std::vector<base::Value>>& rows,
                                     const std::vector<base::Field>& fields) {
  base::Rowset all(fields);
  size_t first = 0;
  for (size_t count : RowChunks(rows.size())) {
    PLX_ASSIGN_OR_RETURN(base::Rowset part,
                         cnn.Query(RowsSql(cnn.dialect(), statement, rows, first, count), fields));
    for (const auto& row : part.rows()) PLX_RETURN_IF_ERROR(all.AddRow(row));
    first += count;
  }
  return all;
}

}  // namespace data
