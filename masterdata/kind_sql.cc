#include "masterdata/kind_sql.h"

#include "masterdata/cells.h"

namespace masterdata {
namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : separator) + p;
  return s;
}

std::string Param(size_t i) { return "v" + std::to_string(i); }

// INSERT INTO table (columns) VALUES (...) ON CONFLICT (key) DO UPDATE SET
// each non-key column, or DO NOTHING when every column is part of the key.
KindStatement Upsert(const std::string& table, const std::vector<const KindColumn*>& columns,
                     const std::vector<std::string>& key) {
  KindStatement st;
  std::vector<std::string> names, values, sets;
  for (const KindColumn* c : columns) {
    names.push_back(c->name);
    values.push_back(":" + Param(st.params.size()));
    st.params.push_back({Param(st.params.size()), FieldTypeOf(c->type)});
    if (!c->key) sets.push_back(std::string(c->name) + " = excluded." + c->name);
  }
  st.text = "INSERT INTO " + table + " (" + Joined(names, ", ") + ") VALUES (" +
            Joined(values, ", ") + ")";
  if (key.empty()) return st;
  st.text += " ON CONFLICT (" + Joined(key, ", ") + ") DO ";
  st.text += sets.empty() ? "NOTHING" : "UPDATE SET " + Joined(sets, ", ");
  return st;
}

std::vector<std::string> KeyNames(const Kind& kind) {
  std::vector<std::string> key;
  for (const KindColumn* c : kind.Keys()) key.push_back(c->name);
  return key;
}

}  // namespace

KindStatement UpsertRow(const Kind& kind, const std::vector<const KindColumn*>& columns,
                        bool with_key) {
  if (with_key) return Upsert(kind.table, columns, KeyNames(kind));
  std::vector<const KindColumn*> without;
  for (const KindColumn* c : columns) {
    if (!c->assigned) without.push_back(c);
  }
  return Upsert(kind.table, without, {});
}

KindStatement UpsertSideRow(const Kind& kind, const std::vector<const KindColumn*>& key,
                            const std::vector<const KindColumn*>& columns) {
  std::vector<const KindColumn*> all = key;
  all.insert(all.end(), columns.begin(), columns.end());
  return Upsert(kind.side_table, all, KeyNames(kind));
}

KindStatement FindReferenced(const Reference& ref, CellType type) {
  return {std::string("SELECT 1 FROM ") + ref.table + " WHERE " + ref.column + " = :v",
          {{"v", FieldTypeOf(type)}}};
}

std::string ListRows(const Kind& kind) {
  std::vector<std::string> columns, order;
  for (const KindColumn& c : kind.columns) {
    if (!c.side) {
      columns.push_back(std::string("m.") + c.name);
    } else if (c.empty != nullptr && c.empty != kRequired) {
      // A main row without a side row lists the value an import gives it.
      columns.push_back(std::string("COALESCE(s.") + c.name + ", " + c.empty + ")");
    } else {
      columns.push_back(std::string("s.") + c.name);
    }
    if (c.key) order.push_back(std::string("m.") + c.name);
  }
  std::string sql = "SELECT " + Joined(columns, ", ") + " FROM " + kind.table + " m";
  if (kind.side_table != nullptr) {
    std::vector<std::string> on;
    for (const std::string& k : KeyNames(kind)) on.push_back("s." + k + " = m." + k);
    sql += " LEFT JOIN " + std::string(kind.side_table) + " s ON " + Joined(on, " AND ");
  }
  return sql + " ORDER BY " + Joined(order, ", ");
}

std::vector<base::Field> ListFields(const Kind& kind) {
  std::vector<base::Field> fields;
  for (const KindColumn& c : kind.columns) fields.push_back({c.name, FieldTypeOf(c.type)});
  return fields;
}

}  // namespace masterdata
