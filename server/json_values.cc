#include "server/json_values.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace server {
namespace {

using boundary::ParamType;
using boundary::Variant;

constexpr const char* kSource = "Plexavo.Server";

base::Err Bad(std::string text) {
  return base::MakeErr(base::kErrInvalidArgument, std::move(text), kSource);
}

// Builds the document like nlohmann's own DOM parser, except that numbers
// with a fraction or exponent keep their source text (as a binary node,
// which JSON text itself can never produce) and parse errors are kept as
// text instead of being thrown.
class RawNumberParser : public nlohmann::detail::json_sax_dom_parser<Json> {
 public:
  using Base = nlohmann::detail::json_sax_dom_parser<Json>;
  explicit RawNumberParser(Json& root) : Base(root, /*allow_exceptions_=*/false) {}

  bool number_float(Json::number_float_t /*value*/, const Json::string_t& text) {
    Json::binary_t raw(std::vector<std::uint8_t>(text.begin(), text.end()), kRawNumberSubtype);
    return Base::binary(raw);
  }

  template <class Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& ex) {
    error_ = ex.what();
    // Drop nlohmann's "[json.exception.parse_error.101] " prefix.
    if (!error_.empty() && error_[0] == '[') {
      size_t end = error_.find("] ");
      if (end != std::string::npos) error_.erase(0, end + 2);
    }
    return Base::parse_error(position, token, ex);
  }

  const std::string& error() const { return error_; }

 private:
  std::string error_;
};

std::string RawText(const Json& j) {
  const auto& bytes = j.get_binary();
  return std::string(bytes.begin(), bytes.end());
}

// Matches `s` against a pattern where 'd' stands for any decimal digit.
bool HasShape(std::string_view s, std::string_view pattern) {
  if (s.size() != pattern.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    bool ok = pattern[i] == 'd' ? (s[i] >= '0' && s[i] <= '9') : s[i] == pattern[i];
    if (!ok) return false;
  }
  return true;
}

base::Result<base::DateTime> DateFrom(const Json& j, const std::string& what) {
  const std::string expected = what + " must be a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\"";
  if (!j.is_string()) return Bad(expected + ", not " + KindOf(j));
  const std::string& s = j.get_ref<const std::string&>();
  if (!HasShape(s, "dddd-dd-dd") && !HasShape(s, "dddd-dd-ddTdd:dd:dd")) {
    return Bad(expected + ", not \"" + s + "\"");
  }
  auto parsed = base::DateTime::Parse(s);
  if (!parsed.ok()) return Bad(what + ": \"" + s + "\" is no valid date");
  return *parsed;
}

base::Result<int32_t> IntFrom(const Json& j, const std::string& what) {
  const std::string expected = what + " must be a 32-bit integer";
  if (j.is_number_unsigned()) {
    uint64_t v = j.get<uint64_t>();
    if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      return Bad(expected + ", " + std::to_string(v) + " is out of range");
    }
    return static_cast<int32_t>(v);
  }
  if (j.is_number_integer()) {
    int64_t v = j.get<int64_t>();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
      return Bad(expected + ", " + std::to_string(v) + " is out of range");
    }
    return static_cast<int32_t>(v);
  }
  if (IsRawNumber(j)) return Bad(expected + ", not " + RawText(j));
  return Bad(expected + ", not " + KindOf(j));
}

base::Result<base::Currency> CurrencyFrom(const Json& j, const std::string& what) {
  const std::string expected =
      what +
      " must be a currency value with at most four decimals (a string such as "
      "\"12.3400\" or a number)";
  std::string text;
  if (j.is_string()) {
    text = j.get<std::string>();
  } else if (j.is_number_unsigned()) {
    text = std::to_string(j.get<uint64_t>());
  } else if (j.is_number_integer()) {
    text = std::to_string(j.get<int64_t>());
  } else if (IsRawNumber(j)) {
    text = RawText(j);
  } else {
    return Bad(expected + ", not " + KindOf(j));
  }
  auto parsed = base::Currency::Parse(text);
  if (!parsed.ok()) {
    if (parsed.err().number == base::kErrOverflow) {
      return Bad(what + ": " + text + " is out of the currency range");
    }
    return Bad(expected + ", not " + (j.is_string() ? "\"" + text + "\"" : text));
  }
  return *parsed;
}

// A non-NULL value of a field type; `what` names the argument (and cell).
base::Result<base::Value> ValueFrom(const Json& j, base::FieldType type, const std::string& what) {
  switch (type) {
    case base::FieldType::kText:
      if (!j.is_string()) return Bad(what + " must be a string, not " + KindOf(j));
      return base::Value(j.get<std::string>());
    case base::FieldType::kDate: {
      PLX_ASSIGN_OR_RETURN(base::DateTime d, DateFrom(j, what));
      return base::Value(d);
    }
    case base::FieldType::kInt: {
      PLX_ASSIGN_OR_RETURN(int32_t i, IntFrom(j, what));
      return base::Value(i);
    }
    case base::FieldType::kCurrency: {
      PLX_ASSIGN_OR_RETURN(base::Currency c, CurrencyFrom(j, what));
      return base::Value(c);
    }
    case base::FieldType::kBool:
      if (!j.is_boolean()) return Bad(what + " must be true or false, not " + KindOf(j));
      return base::Value(j.get<bool>());
  }
  return Bad(what + " has an unknown type");
}

base::Result<base::Rowset> RowsetFrom(const Json& j, const std::string& what) {
  const std::string shape =
      " (a rowset is {\"fields\": [{\"name\": N, \"type\": T}, ...], \"rows\": [[...], ...]} "
      "or null)";
  if (!j.is_object()) return Bad(what + " must be a rowset or null, not " + KindOf(j) + shape);
  for (const auto& [key, value] : j.items()) {
    if (key != "fields" && key != "rows") {
      return Bad(what + " has an unknown member \"" + key + "\"" + shape);
    }
  }
  auto fields_it = j.find("fields");
  auto rows_it = j.find("rows");
  if (fields_it == j.end() || !fields_it->is_array()) {
    return Bad(what + " needs a \"fields\" array" + shape);
  }
  if (rows_it == j.end() || !rows_it->is_array()) {
    return Bad(what + " needs a \"rows\" array" + shape);
  }
  std::vector<base::Field> fields;
  for (size_t i = 0; i < fields_it->size(); ++i) {
    const Json& f = (*fields_it)[i];
    const std::string where = what + ", field " + std::to_string(i + 1);
    if (!f.is_object() || f.size() != 2 || !f.contains("name") || !f.contains("type")) {
      return Bad(where + " must be an object with exactly \"name\" and \"type\"");
    }
    const Json& name = f["name"];
    const Json& type = f["type"];
    if (!name.is_string() || name.get_ref<const std::string&>().empty()) {
      return Bad(where + ": \"name\" must be a non-empty string");
    }
    auto field_type = type.is_string() ? base::FieldTypeFromName(type.get_ref<const std::string&>())
                                       : base::Result<base::FieldType>(Bad(""));
    if (!field_type.ok()) {
      return Bad(where +
                 ": \"type\" must be one of \"text\", \"date\", \"int\", \"currency\", "
                 "\"bool\"");
    }
    fields.push_back({name.get<std::string>(), *field_type});
  }
  base::Rowset rs(fields);
  for (size_t r = 0; r < rows_it->size(); ++r) {
    const Json& row = (*rows_it)[r];
    const std::string where = what + ", row " + std::to_string(r + 1);
    if (!row.is_array() || row.size() != fields.size()) {
      return Bad(where + " must be an array of " + std::to_string(fields.size()) + " values");
    }
    std::vector<base::Value> values;
    values.reserve(fields.size());
    for (size_t c = 0; c < fields.size(); ++c) {
      if (row[c].is_null()) {
        values.emplace_back();
        continue;
      }
      PLX_ASSIGN_OR_RETURN(base::Value v,
                           ValueFrom(row[c], fields[c].type, where + ", field " + fields[c].name));
      values.push_back(std::move(v));
    }
    PLX_RETURN_IF_ERROR(rs.AddRow(std::move(values)));
  }
  return rs;
}

Json ValueToJson(const base::Value& value) {
  return std::visit(
      [](const auto& x) -> Json {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, base::Null>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, base::DateTime>) {
          return x.FormatIso();
        } else if constexpr (std::is_same_v<T, base::Currency>) {
          return x.ToString();
        } else {
          return x;  // text, 32-bit integer, Boolean
        }
      },
      value.raw());
}

}  // namespace

base::Result<Json> ParseJson(std::string_view text) {
  Json root;
  RawNumberParser parser(root);
  bool ok = false;
  try {
    ok = Json::sax_parse(text.begin(), text.end(), &parser);
  } catch (const std::exception& e) {
    return Bad(std::string("malformed JSON: ") + e.what());
  }
  if (!ok || parser.is_errored()) {
    return Bad("malformed JSON: " + (parser.error().empty() ? "parse error" : parser.error()));
  }
  return root;
}

bool IsRawNumber(const Json& j) {
  return j.is_binary() && j.get_binary().has_subtype() &&
         j.get_binary().subtype() == kRawNumberSubtype;
}

std::string KindOf(const Json& j) {
  if (IsRawNumber(j)) return "a number with a fraction";
  switch (j.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "a Boolean";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "an integer";
    case Json::value_t::number_float:
      return "a number with a fraction";
    default:
      break;
  }
  return "an unsupported value";
}

std::string Dump(const Json& j, int indent) {
  try {
    return j.dump(indent, ' ', false, Json::error_handler_t::replace);
  } catch (const std::exception&) {
    return "{\"error\":\"the answer could not be written as JSON\"}";
  }
}

Json ToJson(const Variant& v) {
  if (v.type == ParamType::kRowset) return RowsetToJson(v.rowset);
  return ValueToJson(v.value);
}

Json RowsetToJson(const std::optional<base::Rowset>& rs) {
  if (!rs) return nullptr;
  Json fields = Json::array();
  for (const base::Field& f : rs->fields()) {
    fields.push_back({{"name", f.name}, {"type", base::FieldTypeName(f.type)}});
  }
  Json rows = Json::array();
  for (const auto& row : rs->rows()) {
    Json cells = Json::array();
    for (const base::Value& v : row) cells.push_back(ValueToJson(v));
    rows.push_back(std::move(cells));
  }
  return {{"fields", std::move(fields)}, {"rows", std::move(rows)}};
}

namespace {

// Follows the parse far enough to see args.NAME at the top level's "args"
// object; stops there (or at the first malformed byte).
class ArgTextFinder : public nlohmann::json_sax<Json> {
 public:
  explicit ArgTextFinder(std::string_view name) : name_(name) {}
  std::optional<std::string> found;

  bool null() override { return Scalar(); }
  bool boolean(bool) override { return Scalar(); }
  bool number_integer(number_integer_t) override { return Scalar(); }
  bool number_unsigned(number_unsigned_t) override { return Scalar(); }
  bool number_float(number_float_t, const string_t&) override { return Scalar(); }
  bool binary(binary_t&) override { return Scalar(); }
  bool string(string_t& s) override {
    if (!name_next_) return Scalar();
    found = std::move(s);
    return false;
  }
  bool start_object(std::size_t) override {
    ++depth_;
    if (args_next_) args_depth_ = depth_;
    return Scalar();
  }
  bool key(string_t& k) override {
    args_next_ = depth_ == 1 && k == "args";
    name_next_ = args_depth_ != 0 && depth_ == args_depth_ && k == name_;
    return true;
  }
  bool end_object() override {
    if (depth_ == args_depth_) args_depth_ = 0;
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    ++depth_;
    return Scalar();
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  // Any value ends the wait for the one a key announced.
  bool Scalar() {
    args_next_ = name_next_ = false;
    return true;
  }

  std::string_view name_;
  int depth_ = 0;
  int args_depth_ = 0;  // the depth of the args object while inside it
  bool args_next_ = false;
  bool name_next_ = false;
};

}  // namespace

std::optional<std::string> FindArgText(std::string_view body, std::string_view name) {
  ArgTextFinder finder(name);
  try {
    (void)Json::sax_parse(body.begin(), body.end(), &finder);
  } catch (...) {
    return std::nullopt;
  }
  return std::move(finder.found);
}

std::string RowsetJsonHead(const std::vector<base::Field>& fields) {
  Json names = Json::array();
  for (const base::Field& f : fields) {
    names.push_back({{"name", f.name}, {"type", base::FieldTypeName(f.type)}});
  }
  return "{\"fields\":" + Dump(names) + ",\"rows\":[";
}

void AppendRowJson(const std::vector<base::Value>& row, bool first, std::string& out) {
  out += first ? "[" : ",[";
  bool first_cell = true;
  for (const base::Value& cell : row) {
    if (!first_cell) out += ',';
    first_cell = false;
    out += Dump(ValueToJson(cell));
  }
  out += ']';
}

void WriteJson(const Variant& v, const std::function<void(std::string_view)>& out) {
  if (v.type != ParamType::kRowset || !v.rowset) return out(Dump(ToJson(v)));
  const base::Rowset& rs = *v.rowset;
  out(RowsetJsonHead(rs.fields()));
  std::string row_text;
  bool first_row = true;
  for (const auto& row : rs.rows()) {
    row_text.clear();
    AppendRowJson(row, first_row, row_text);
    first_row = false;
    out(row_text);
  }
  out(kRowsetJsonTail);
}

base::Result<Variant> FromJson(const Json& j, ParamType type, const std::string& name) {
  const std::string what = "argument " + name;
  if (type == ParamType::kRowset) {
    if (j.is_null()) return Variant::Rows(std::nullopt);
    PLX_ASSIGN_OR_RETURN(base::Rowset rs, RowsetFrom(j, what));
    return Variant::Rows(std::move(rs));
  }
  if (j.is_null()) {
    return Bad(what + " must be " + boundary::ParamTypeName(type) + ", not null");
  }
  PLX_ASSIGN_OR_RETURN(base::Value v, ValueFrom(j, FieldTypeOf(type), what));
  return Variant{type, std::move(v), std::nullopt};
}

}  // namespace server
