// Sql: one statement's text with its values bound by name. Placeholders are
// written ":name" in the text; values never enter the text itself.
#ifndef PLEXAVO_DATA_SQL_H_
#define PLEXAVO_DATA_SQL_H_

#include <string>
#include <utility>
#include <vector>

#include "base/value.h"

namespace data {

struct Sql {
  explicit Sql(std::string t) : text(std::move(t)) {}
  Sql& Bind(std::string name, base::Value value) {
    params.emplace_back(std::move(name), std::move(value));
    return *this;
  }

  std::string text;
  std::vector<std::pair<std::string, base::Value>> params;
};

}  // namespace data

#endif  // PLEXAVO_DATA_SQL_H_
