#include "masterdata/import.h"

#include <memory>
#include <string>
#include <vector>

#include "data/bulk.h"
#include "masterdata/cells.h"
#include "masterdata/csv.h"
#include "masterdata/kind_sql.h"

namespace masterdata {
namespace {

constexpr int64_t kProgressEvery = 4096;

// Keys seen in this file, with the line each came on, to refuse a second
// row with the same key. A temporary table keeps them, so that memory does
// not grow with the file.
constexpr const char* kCreateSeenKeys =
    "CREATE TEMP TABLE PX_ImportKeys (K TEXT NOT NULL PRIMARY KEY, Line INTEGER NOT NULL)";
constexpr const char* kDropSeenKeys = "DROP TABLE PX_ImportKeys";

struct Problem {
  int64_t line;
  std::string column;  // "" for the row as a whole
  std::string what;
};

// The rows of one file: checked, then written as long as no row was bad.
class Loader {
 public:
  explicit Loader(const Kind& kind) : kind_(kind) {}

  // Maps the header's names to the kind's columns.
  void Header(const std::vector<std::string>& names);
  base::Status Prepare(data::BulkSession& session);
  base::Status Row(int64_t line, const std::vector<std::string>& fields);
  void Refuse(int64_t line, const std::string& what) { problems_.push_back({line, "", what}); }
  // Finalises the prepared statements (before the transaction ends).
  void CloseStatements();
  // Drops the keys seen and brings assigned keys past the keys given.
  base::Status Finish();

  bool refused() const { return !problems_.empty(); }
  // Rows read so far, blank ones not counted.
  int64_t rows() const { return rows_; }
  base::Err Refusal() const;

 private:
  struct Check {
    size_t position;  // in the header
    std::unique_ptr<data::BulkStatement> find;
    std::string last_found;  // a value found just before needs no second look
  };

  bool Parse(int64_t line, const std::vector<std::string>& fields);
  base::Status CheckReferences(int64_t line);
  base::Status CheckKeyOnce(int64_t line);
  base::Status Write();
  base::Status FollowAssignedKeys();
  std::vector<base::Value> ValuesOf(const std::vector<size_t>& positions) const;

  const Kind& kind_;
  std::vector<const KindColumn*> header_;
  std::vector<base::Value> values_;  // of the current row, by header position
  std::vector<Problem> problems_;
  int64_t rows_ = 0;

  std::vector<size_t> main_, side_, key_;  // header positions
  // The kind's key is assigned by the database for rows that give none;
  // assigned_ is the header position of that key (npos: not in the file).
  bool has_assigned_key_ = false;
  size_t assigned_ = std::string::npos;
  // Rows went in with keys of their own since the database's next assigned
  // key was last brought past them (or may have, before this file).
  bool keys_given_ = true;
  data::BulkSession* session_ = nullptr;
  std::unique_ptr<data::BulkStatement> upsert_, insert_new_, side_upsert_, note_key_, first_line_;
  std::vector<Check> checks_;
};

void Loader::Header(const std::vector<std::string>& names) {
  for (const KindColumn& c : kind_.columns) has_assigned_key_ = has_assigned_key_ || c.assigned;
  for (size_t i = 0; i < names.size(); ++i) {
    const KindColumn* c = kind_.Column(names[i]);
    if (names[i].empty()) {
      problems_.push_back({1, std::to_string(i + 1), "a column without a name"});
    } else if (c == nullptr) {
      std::string known;
      for (const KindColumn& k : kind_.columns)
        known += (known.empty() ? "" : ", ") + std::string(k.name);
      problems_.push_back(
          {1, names[i], "unknown column (" + std::string(kind_.name) + " has " + known + ")"});
    } else {
      for (const KindColumn* seen : header_) {
        if (seen == c) problems_.push_back({1, names[i], "named twice"});
      }
    }
    header_.push_back(c);
  }
  for (const KindColumn& c : kind_.columns) {
    bool present = false;
    for (const KindColumn* h : header_) present = present || h == &c;
    if (c.empty == kRequired && !present)
      problems_.push_back({1, c.name, "missing: the column must be there"});
  }
  if (refused()) return;
  for (size_t i = 0; i < header_.size(); ++i) {
    (header_[i]->side ? side_ : main_).push_back(i);
    if (header_[i]->key) key_.push_back(i);
    if (header_[i]->assigned) assigned_ = i;
  }
}

std::vector<base::Value> Loader::ValuesOf(const std::vector<size_t>& positions) const {
  std::vector<base::Value> v;
  v.reserve(positions.size());
  for (size_t p : positions) v.push_back(values_[p]);
  return v;
}

base::Status Loader::Prepare(data::BulkSession& session) {
  session_ = &session;
  auto columns = [&](const std::vector<size_t>& positions) {
    std::vector<const KindColumn*> out;
    for (size_t p : positions) out.push_back(header_[p]);
    return out;
  };
  auto prepare = [&](const KindStatement& st) { return session.Prepare(st.text, st.params); };
  PLX_ASSIGN_OR_RETURN(upsert_, prepare(UpsertRow(kind_, columns(main_))));
  if (has_assigned_key_) {
    PLX_ASSIGN_OR_RETURN(insert_new_, prepare(UpsertRow(kind_, columns(main_), false)));
  }
  if (kind_.side_table != nullptr) {
    PLX_ASSIGN_OR_RETURN(side_upsert_,
                         prepare(UpsertSideRow(kind_, columns(key_), columns(side_))));
  }
  for (size_t i = 0; i < header_.size(); ++i) {
    if (header_[i]->refers_to == nullptr) continue;
    KindStatement find = FindReferenced(*header_[i]->refers_to, header_[i]->type);
    PLX_ASSIGN_OR_RETURN(
        auto st, session.Prepare(find.text, find.params, {{"found", base::FieldType::kInt}}));
    checks_.push_back({i, std::move(st), ""});
  }
  PLX_RETURN_IF_ERROR(session.Execute(kCreateSeenKeys));
  PLX_ASSIGN_OR_RETURN(
      note_key_,
      session.Prepare("INSERT INTO PX_ImportKeys (K, Line) VALUES (:k, :line) ON CONFLICT (K) "
                      "DO NOTHING",
                      {{"k", base::FieldType::kText}, {"line", base::FieldType::kInt}}));
  PLX_ASSIGN_OR_RETURN(first_line_, session.Prepare("SELECT Line FROM PX_ImportKeys WHERE K = :k",
                                                    {{"k", base::FieldType::kText}},
                                                    {{"Line", base::FieldType::kInt}}));
  return base::OkStatus();
}

void Loader::CloseStatements() {
  upsert_.reset();
  insert_new_.reset();
  side_upsert_.reset();
  note_key_.reset();
  first_line_.reset();
  checks_.clear();
}

// Reads the cells into values_; false when a cell was bad (noted).
bool Loader::Parse(int64_t line, const std::vector<std::string>& fields) {
  bool good = true;
  values_.assign(header_.size(), base::Value());
  for (size_t i = 0; i < header_.size(); ++i) {
    const KindColumn& c = *header_[i];
    const std::string& text = fields[i];
    if (text.empty()) {
      if (c.empty == kRequired) {
        problems_.push_back({line, c.name, "must not be empty"});
        good = false;
      } else if (c.empty != nullptr) {
        values_[i] = ParseCell(c.type, c.empty).value();
      }
      continue;
    }
    auto v = ParseCell(c.type, text);
    const char* refused = v.ok() && c.check != nullptr ? c.check(*v) : nullptr;
    if (!v.ok() || refused != nullptr) {
      problems_.push_back(
          {line, c.name, v.ok() ? refused + (": '" + text + "'") : v.err().description});
      good = false;
      continue;
    }
    values_[i] = std::move(*v);
  }
  return good;
}

base::Status Loader::CheckReferences(int64_t line) {
  for (Check& check : checks_) {
    const base::Value& v = values_[check.position];
    if (v.IsNull()) continue;
    const std::string shown = FormatCell(v);
    if (!check.last_found.empty() && shown == check.last_found) continue;
    PLX_ASSIGN_OR_RETURN(bool found, check.find->Run({v}));
    if (found) {
      check.last_found = shown;
      continue;
    }
    const KindColumn& c = *header_[check.position];
    const bool text = c.type == CellType::kText;
    problems_.push_back(
        {line, c.name,
         std::string("no ") + c.refers_to->noun + " " + (text ? "'" + shown + "'" : shown)});
  }
  return base::OkStatus();
}

base::Status Loader::CheckKeyOnce(int64_t line) {
  std::string key;
  std::string columns;
  if (key_.empty()) return base::OkStatus();  // new rows only; the database assigns their keys
  for (size_t p : key_) {
    if (values_[p].IsNull()) return base::OkStatus();  // a new row; the database assigns its key
    key += FormatCell(values_[p]) + '\x1f';
    columns += (columns.empty() ? "" : "+") + std::string(header_[p]->name);
  }
  PLX_RETURN_IF_ERROR(note_key_->Run({base::Value(key), base::Value(static_cast<int32_t>(line))}));
  if (note_key_->changed() > 0) return base::OkStatus();
  PLX_ASSIGN_OR_RETURN(bool found, first_line_->Run({base::Value(key)}));
  std::string first = "?";
  if (found) {
    PLX_ASSIGN_OR_RETURN(std::vector<base::Value> row, first_line_->Row());
    first = row[0].TextOrEmpty();
  }
  problems_.push_back({line, columns, "the same key as line " + first});
  return base::OkStatus();
}

base::Status Loader::Write() {
  const bool new_row =
      has_assigned_key_ && (assigned_ == std::string::npos || values_[assigned_].IsNull());
  std::vector<size_t> main = main_;
  if (new_row) {
    main.clear();
    for (size_t p : main_) {
      if (!header_[p]->assigned) main.push_back(p);
    }
  }
  if (new_row) PLX_RETURN_IF_ERROR(FollowAssignedKeys());
  keys_given_ = keys_given_ || (has_assigned_key_ && !new_row);
  PLX_RETURN_IF_ERROR((new_row ? insert_new_ : upsert_)->Run(ValuesOf(main)));
  if (side_upsert_ != nullptr) {
    std::vector<size_t> side = key_;
    side.insert(side.end(), side_.begin(), side_.end());
    PLX_RETURN_IF_ERROR(side_upsert_->Run(ValuesOf(side)));
  }
  return base::OkStatus();
}

base::Status Loader::Finish() {
  PLX_RETURN_IF_ERROR(session_->Execute(kDropSeenKeys));
  if (has_assigned_key_) PLX_RETURN_IF_ERROR(FollowAssignedKeys());
  return base::OkStatus();
}

// Before the database assigns a key, its next key must lie past the keys
// that rows were given.
base::Status Loader::FollowAssignedKeys() {
  if (!keys_given_) return base::OkStatus();
  for (const KindColumn& c : kind_.columns) {
    if (!c.assigned) continue;
    const std::string reset = session_->dialect().ResetIdentity(kind_.table, c.name);
    if (!reset.empty()) PLX_RETURN_IF_ERROR(session_->Execute(reset));
  }
  keys_given_ = false;
  return base::OkStatus();
}

base::Status Loader::Row(int64_t line, const std::vector<std::string>& fields) {
  bool blank = true;
  for (const std::string& f : fields) blank = blank && f.empty();
  if (blank) return base::OkStatus();  // spreadsheets leave empty rows behind
  ++rows_;
  if (fields.size() != header_.size()) {
    Refuse(line, std::to_string(fields.size()) + " fields, the header has " +
                     std::to_string(header_.size()));
    return base::OkStatus();
  }
  if (!Parse(line, fields)) return base::OkStatus();
  PLX_RETURN_IF_ERROR(CheckReferences(line));
  PLX_RETURN_IF_ERROR(CheckKeyOnce(line));
  if (refused()) return base::OkStatus();  // nothing more is written; the rest is only checked
  base::Status written = Write();
  if (!written.ok()) {
    return base::MakeErr(written.err().number,
                         "line " + std::to_string(line) + ": " + written.err().description,
                         written.err().source);
  }
  return base::OkStatus();
}

base::Err Loader::Refusal() const {
  std::string text = std::to_string(problems_.size()) + " problem" +
                     (problems_.size() == 1 ? "" : "s") + " in the " + kind_.name +
                     " file; nothing was written:";
  for (const Problem& p : problems_) {
    text += "\nline " + std::to_string(p.line);
    if (!p.column.empty()) text += ", column " + p.column;
    text += ": " + p.what;
  }
  return base::MakeErr(base::kErrInvalidArgument, text, "Plexavo.Import");
}

}  // namespace

base::Result<int64_t> Import(const data::Target& target, const Kind& kind, std::istream& in,
                             const Progress& progress) {
  CsvReader csv(in);
  std::vector<std::string> fields;
  PLX_ASSIGN_OR_RETURN(bool any, csv.Next(fields));
  Loader loader(kind);
  if (!any) {
    loader.Refuse(1, "the file is empty; its first line must name the columns");
    return loader.Refusal();
  }
  loader.Header(fields);
  if (loader.refused()) return loader.Refusal();

  PLX_ASSIGN_OR_RETURN(std::unique_ptr<data::BulkSession> session, data::BulkSession::Open(target));
  PLX_RETURN_IF_ERROR(session->Begin());
  base::Status prepared = loader.Prepare(*session);
  if (!prepared.ok()) {
    loader.CloseStatements();
    return prepared.err();
  }
  int64_t read = 0;
  for (;;) {
    auto more = csv.Next(fields);
    if (!more.ok()) {
      loader.Refuse(csv.line(),
                    more.err().description.substr(more.err().description.find(':') + 2));
      break;
    }
    if (!*more) break;
    base::Status done = loader.Row(csv.line(), fields);
    if (!done.ok()) {
      loader.CloseStatements();
      return done.err();
    }
    if (++read % kProgressEvery == 0 && progress) progress(loader.rows());
  }
  loader.CloseStatements();
  if (loader.refused()) return loader.Refusal();  // the session rolls back
  PLX_RETURN_IF_ERROR(loader.Finish());
  PLX_RETURN_IF_ERROR(session->Commit());
  if (progress) progress(loader.rows());
  return loader.rows();
}

}  // namespace masterdata
