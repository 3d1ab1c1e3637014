#include "schema/schema_model.h"

#include <algorithm>
#include <cctype>

#include "base/ascii.h"

namespace schema {
namespace {

struct Token {
  std::string text;  // as written
  size_t begin = 0;
  size_t end = 0;
};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '{' || c == '}' ||
         c == '.' || c == '$';
}

// Splits a statement into words, quoted texts and single punctuation marks.
std::vector<Token> Lex(const std::string& s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    if (c == '\'' || c == '"') {
      while (j < s.size()) {
        if (s[j] == c && j + 1 < s.size() && s[j + 1] == c) {
          j += 2;
        } else if (s[j] == c) {
          ++j;
          break;
        } else {
          ++j;
        }
      }
    } else if (IsWordChar(c)) {
      while (j < s.size() && IsWordChar(s[j])) ++j;
    }
    out.push_back({s.substr(i, j - i), i, j});
    i = j;
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Unquoted(const std::string& word) {
  if (word.size() >= 2 && (word.front() == '"' || word.front() == '\'')) {
    return word.substr(1, word.size() - 2);
  }
  return word;
}

bool SameName(const std::string& a, const std::string& b) {
  return base::AsciiLower(a) == base::AsciiLower(b);
}

// A cursor over one statement's tokens.
class Reader {
 public:
  Reader(const std::string& text, std::vector<Token> tokens)
      : text_(text), tokens_(std::move(tokens)) {}

  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const std::string& Peek(size_t ahead = 0) const {
    static const std::string kNone;
    return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead].text : kNone;
  }
  bool PeekIs(const char* word, size_t ahead = 0) const { return Upper(Peek(ahead)) == word; }
  // Consumes the words of `phrase` (space-separated) when they come next.
  bool Accept(const std::string& phrase) {
    size_t n = 0;
    size_t start = 0;
    while (start < phrase.size()) {
      size_t stop = phrase.find(' ', start);
      if (stop == std::string::npos) stop = phrase.size();
      if (!PeekIs(phrase.substr(start, stop - start).c_str(), n)) return false;
      ++n;
      start = stop + 1;
    }
    pos_ += n;
    return true;
  }
  std::string Next() { return AtEnd() ? std::string() : tokens_[pos_++].text; }
  std::string Name() { return Unquoted(Next()); }

  // The source text of the tokens up to (not including) the first one, at
  // parenthesis depth 0, for which `stop` is true.
  template <typename Stop>
  std::string TextUntil(Stop stop) {
    const size_t first = pos_;
    int depth = 0;
    while (!AtEnd()) {
      const std::string& t = Peek();
      if (depth == 0 && (t == ")" || t == "," || stop(Upper(t)))) break;
      if (t == "(") ++depth;
      if (t == ")") --depth;
      ++pos_;
    }
    if (pos_ == first) return "";
    return text_.substr(tokens_[first].begin, tokens_[pos_ - 1].end - tokens_[first].begin);
  }

  // A parenthesised list of names: "(a, b)".
  base::Result<std::vector<std::string>> NameList() {
    if (Next() != "(") return Fail("expected '('");
    std::vector<std::string> names;
    while (!AtEnd() && Peek() != ")") {
      names.push_back(Name());
      if (Peek() == ",") Next();
    }
    if (Next() != ")") return Fail("expected ')'");
    return names;
  }

  base::Err Fail(const std::string& what) const {
    return base::MakeErr(base::kErrInvalidArgument, what + " at '" + Peek() + "'");
  }

 private:
  const std::string& text_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

bool IsConstraintWord(const std::string& w) {
  static const char* const kWords[] = {"NOT",   "NULL",       "DEFAULT",    "PRIMARY",  "UNIQUE",
                                       "CHECK", "REFERENCES", "CONSTRAINT", "GENERATED"};
  return std::any_of(std::begin(kWords), std::end(kWords), [&](const char* k) { return w == k; });
}

// A column definition: name, type, then its constraints.
base::Result<ColumnModel> ReadColumn(Reader& r, int version) {
  ColumnModel c;
  c.name = r.Name();
  c.since = version;
  c.type = r.TextUntil(IsConstraintWord);
  if (c.type.empty()) return r.Fail("column " + c.name + " has no type");
  if (c.type == "{ID}") {
    c.primary_key = true;
    c.not_null = true;
  }
  while (!r.AtEnd() && r.Peek() != "," && r.Peek() != ")") {
    if (r.Accept("NOT NULL")) {
      c.not_null = true;
    } else if (r.Accept("NULL")) {
    } else if (r.Accept("DEFAULT")) {
      c.default_value = r.TextUntil([](const std::string& w) { return IsConstraintWord(w); });
    } else if (r.Accept("PRIMARY KEY")) {
      c.primary_key = true;
      c.not_null = true;
      r.Accept("AUTOINCREMENT");
    } else {
      // UNIQUE, CHECK (...), REFERENCES t (c), CONSTRAINT n, GENERATED ...:
      // not part of what the model records.
      r.Next();
      r.TextUntil(IsConstraintWord);
    }
  }
  return c;
}

class ModelBuilder {
 public:
  base::Status Apply(const std::string& statement, int version, bool postgres_only) {
    Reader r(statement, Lex(statement));
    if (r.Accept("CREATE TABLE")) return CreateTable(r, version);
    if (r.Accept("CREATE UNIQUE INDEX")) return CreateIndex(r, true);
    if (r.Accept("CREATE INDEX")) return CreateIndex(r, false);
    if (r.Accept("ALTER TABLE")) return AlterTable(r, version, postgres_only);
    if (r.Accept("DROP TABLE")) return DropTable(r);
    if (r.Accept("DROP INDEX")) return DropIndex(r);
    if (r.PeekIs("DO")) return ByteOrderBlock(statement);
    if (MovesDataOnly(r)) return base::OkStatus();
    return base::MakeErr(base::kErrInvalidArgument, "a statement of a shape it does not read");
  }

  SchemaModel Take() { return std::move(model_); }

 private:
  static bool MovesDataOnly(const Reader& r) {
    for (const char* w : {"INSERT", "UPDATE", "DELETE", "SELECT", "WITH"}) {
      if (r.PeekIs(w)) return true;
    }
    // Triggers and functions keep data; they add no table or column.
    for (const char* w : {"TRIGGER", "FUNCTION", "PROCEDURE", "SEQUENCE"}) {
      for (size_t ahead = 1; ahead <= 4; ++ahead) {
        if (r.PeekIs(w, ahead)) return true;
      }
    }
    return false;
  }

  TableModel* Find(const std::string& name) {
    for (TableModel& t : model_.tables) {
      if (SameName(t.name, name)) return &t;
    }
    return nullptr;
  }

  base::Result<TableModel*> Existing(Reader& r) {
    const std::string name = r.Name();
    TableModel* t = Find(name);
    if (t == nullptr) return base::MakeErr(base::kErrInvalidArgument, "no table " + name);
    return t;
  }

  static base::Result<ColumnModel*> ColumnOf(TableModel& t, const std::string& name) {
    for (ColumnModel& c : t.columns) {
      if (SameName(c.name, name)) return &c;
    }
    return base::MakeErr(base::kErrInvalidArgument, "no column " + t.name + "." + name);
  }

  base::Status CreateTable(Reader& r, int version) {
    r.Accept("IF NOT EXISTS");
    TableModel t;
    t.name = r.Name();
    t.since = version;
    if (Find(t.name) != nullptr) return r.Fail("table " + t.name + " exists already");
    if (r.Next() != "(") return r.Fail("expected '('");
    while (!r.AtEnd() && r.Peek() != ")") {
      if (r.Accept("PRIMARY KEY")) {
        PLX_ASSIGN_OR_RETURN(std::vector<std::string> key, r.NameList());
        for (const std::string& k : key) {
          PLX_ASSIGN_OR_RETURN(ColumnModel * c, ColumnOf(t, k));
          c->primary_key = true;
          c->not_null = true;
        }
      } else if (r.PeekIs("UNIQUE") || r.PeekIs("CHECK") || r.PeekIs("FOREIGN") ||
                 r.PeekIs("CONSTRAINT")) {
        r.TextUntil([](const std::string&) { return false; });
      } else {
        PLX_ASSIGN_OR_RETURN(ColumnModel c, ReadColumn(r, version));
        t.columns.push_back(std::move(c));
      }
      if (r.Peek() == ",") r.Next();
    }
    model_.tables.push_back(std::move(t));
    return base::OkStatus();
  }

  base::Status CreateIndex(Reader& r, bool unique) {
    r.Accept("IF NOT EXISTS");
    IndexModel index;
    index.name = r.Name();
    index.unique = unique;
    if (!r.Accept("ON")) return r.Fail("expected ON");
    PLX_ASSIGN_OR_RETURN(TableModel * t, Existing(r));
    PLX_ASSIGN_OR_RETURN(index.columns, r.NameList());
    t->indexes.push_back(std::move(index));
    return base::OkStatus();
  }

  base::Status AlterTable(Reader& r, int version, bool postgres_only) {
    PLX_ASSIGN_OR_RETURN(TableModel * t, Existing(r));
    if (r.Accept("ADD CONSTRAINT") || r.Accept("DROP CONSTRAINT")) {
      return base::OkStatus();  // constraints are not part of the model
    }
    if (r.Accept("RENAME TO")) return RenameTable(*t, r.Name());
    if (r.Accept("ADD COLUMN") || r.Accept("ADD")) {
      r.Accept("IF NOT EXISTS");
      PLX_ASSIGN_OR_RETURN(ColumnModel c, ReadColumn(r, version));
      t->columns.push_back(std::move(c));
      return base::OkStatus();
    }
    if (r.Accept("DROP COLUMN")) {
      r.Accept("IF EXISTS");
      PLX_ASSIGN_OR_RETURN(ColumnModel * c, ColumnOf(*t, r.Name()));
      t->columns.erase(t->columns.begin() + (c - t->columns.data()));
      return base::OkStatus();
    }
    if (r.Accept("RENAME COLUMN") ||
        (r.PeekIs("RENAME") && r.PeekIs("TO", 2) && r.Accept("RENAME"))) {
      PLX_ASSIGN_OR_RETURN(ColumnModel * c, ColumnOf(*t, r.Name()));
      if (!r.Accept("TO")) return r.Fail("expected TO");
      c->name = r.Name();
      return base::OkStatus();
    }
    if (r.Accept("ALTER COLUMN")) {
      PLX_ASSIGN_OR_RETURN(ColumnModel * c, ColumnOf(*t, r.Name()));
      return AlterColumn(r, *c, postgres_only);
    }
    return r.Fail("an ALTER TABLE it does not read");
  }

  static base::Status AlterColumn(Reader& r, ColumnModel& c, bool postgres_only) {
    if (r.Accept("SET DATA TYPE") || r.Accept("TYPE")) {
      if (!postgres_only) return r.Fail("a type change outside the PostgreSQL-only statements");
      c.postgres_type = r.TextUntil([](const std::string& w) { return w == "USING"; });
      return base::OkStatus();
    }
    if (r.Accept("SET DEFAULT")) {
      c.default_value = r.TextUntil([](const std::string&) { return false; });
    } else if (r.Accept("DROP DEFAULT")) {
      c.default_value.clear();
    } else if (r.Accept("SET NOT NULL")) {
      c.not_null = true;
    } else if (r.Accept("DROP NOT NULL")) {
      c.not_null = false;
    } else {
      return r.Fail("an ALTER COLUMN it does not read");
    }
    return base::OkStatus();
  }

  base::Status DropTable(Reader& r) {
    r.Accept("IF EXISTS");
    PLX_ASSIGN_OR_RETURN(TableModel * t, Existing(r));
    const size_t position = static_cast<size_t>(t - model_.tables.data());
    dropped_.push_back({std::move(*t), position});
    model_.tables.erase(model_.tables.begin() + position);
    return base::OkStatus();
  }

  // A table rebuilt under a new name and renamed back (the way SQLite
  // changes a column's type or constraints) keeps the place, the version and
  // the column versions of the table it replaces.
  base::Status RenameTable(TableModel& t, const std::string& name) {
    if (Find(name) != nullptr) {
      return base::MakeErr(base::kErrInvalidArgument, "table " + name + " exists already");
    }
    t.name = name;
    for (auto it = dropped_.rbegin(); it != dropped_.rend(); ++it) {
      if (!SameName(it->first.name, name)) continue;
      TableModel renamed = std::move(t);
      model_.tables.erase(model_.tables.begin() + (&t - model_.tables.data()));
      renamed.since = it->first.since;
      for (ColumnModel& c : renamed.columns) {
        if (const ColumnModel* old = it->first.Column(c.name)) c.since = old->since;
      }
      const size_t at = std::min(it->second, model_.tables.size());
      model_.tables.insert(model_.tables.begin() + at, std::move(renamed));
      break;
    }
    return base::OkStatus();
  }

  base::Status DropIndex(Reader& r) {
    const bool if_exists = r.Accept("IF EXISTS");
    const std::string name = r.Name();
    for (TableModel& t : model_.tables) {
      auto it = std::find_if(t.indexes.begin(), t.indexes.end(),
                             [&](const IndexModel& i) { return SameName(i.name, name); });
      if (it != t.indexes.end()) {
        t.indexes.erase(it);
        return base::OkStatus();
      }
    }
    if (if_exists) return base::OkStatus();
    return base::MakeErr(base::kErrInvalidArgument, "no index " + name);
  }

  // The block that turns the text columns of the tables it lists to the
  // byte-order collation: "... COLLATE \"C\" ... table_name IN ('a', 'b') ...".
  base::Status ByteOrderBlock(const std::string& statement) {
    const size_t in = statement.find("table_name IN (");
    if (statement.find("COLLATE \"C\"") == std::string::npos) {
      return base::MakeErr(base::kErrInvalidArgument, "a DO block it does not read");
    }
    if (in == std::string::npos) {
      return base::MakeErr(base::kErrInvalidArgument, "a collation block without a table list");
    }
    const size_t close = statement.find(')', in);
    Reader list(statement, Lex(statement.substr(in + 15, close - in - 15)));
    while (!list.AtEnd()) {
      std::string name = list.Name();
      if (name == ",") continue;
      if (TableModel* t = Find(name)) {
        for (ColumnModel& c : t->columns) {
          if (Upper(c.type) == "TEXT") c.postgres_byte_order = true;
        }
      }
    }
    return base::OkStatus();
  }

  SchemaModel model_;
  std::vector<std::pair<TableModel, size_t>> dropped_;  // with the place each had
};

}  // namespace

const ColumnModel* TableModel::Column(const std::string& name) const {
  for (const ColumnModel& c : columns) {
    if (SameName(c.name, name)) return &c;
  }
  return nullptr;
}

std::vector<std::string> TableModel::PrimaryKey() const {
  std::vector<std::string> key;
  for (const ColumnModel& c : columns) {
    if (c.primary_key) key.push_back(c.name);
  }
  return key;
}

const TableModel* SchemaModel::Table(const std::string& name) const {
  for (const TableModel& t : tables) {
    if (SameName(t.name, name)) return &t;
  }
  return nullptr;
}

base::Result<SchemaModel> ReadSchemaModel(const std::vector<Migration>& migrations) {
  ModelBuilder builder;
  auto apply = [&](const char* statement, int version, bool postgres_only) -> base::Status {
    base::Status done = builder.Apply(statement, version, postgres_only);
    if (done.ok()) return done;
    std::string shown(statement);
    if (shown.size() > 160) shown = shown.substr(0, 157) + "...";
    return base::MakeErr(base::kErrInvalidArgument,
                         "schema version " + std::to_string(version) + ": " +
                             done.err().description + ": " + shown +
                             "\n(teach schema/schema_model.cc this statement shape)");
  };
  PLX_RETURN_IF_ERROR(apply(kVersionTable, 0, false));
  for (const Migration& m : migrations) {
    for (const char* statement : m.statements)
      PLX_RETURN_IF_ERROR(apply(statement, m.version, false));
    for (const char* statement : m.postgres_only) {
      PLX_RETURN_IF_ERROR(apply(statement, m.version, true));
    }
  }
  return builder.Take();
}

}  // namespace schema
