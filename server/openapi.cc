#include "server/openapi.h"

#include <string_view>

#include "boundary/interfaces.h"

namespace server {
namespace {

using boundary::Direction;
using boundary::Interface;
using boundary::Operation;
using boundary::ParamType;

Json Ref(const std::string& name) { return {{"$ref", "#/components/schemas/" + name}}; }

const char* SchemaName(ParamType type) {
  switch (type) {
    case ParamType::kText:
      return "Text";
    case ParamType::kDate:
      return "Date";
    case ParamType::kInt:
      return "Int";
    case ParamType::kCurrency:
      return "Currency";
    case ParamType::kBool:
      return "Bool";
    case ParamType::kRowset:
      return "Rowset";
  }
  return "Text";
}

// Answers carry NULL where a value has none (a failed look-up's date, a
// rowset that was not made); arguments may be null only for rowsets.
Json Nullable(ParamType type) {
  if (type == ParamType::kRowset) return Ref("Rowset");
  return {{"oneOf", Json::array({Ref(SchemaName(type)), Json{{"type", "null"}}})}};
}

Json ValueSchemas() {
  Json cell = {{"type", Json::array({"string", "integer", "boolean", "null"})}};
  return {
      {"Text", {{"type", "string"}}},
      {"Date",
       {{"type", "string"},
        {"pattern", "^[0-9]{4}-[0-9]{2}-[0-9]{2}(T[0-9]{2}:[0-9]{2}:[0-9]{2})?$"},
        {"description", "yyyy-mm-dd, or yyyy-mm-ddThh:mm:ss with a time of day"}}},
      {"Int", {{"type", "integer"}, {"format", "int32"}}},
      {"Currency",
       {{"oneOf", Json::array({Json{{"type", "string"}, {"pattern", "^-?[0-9]+(\\.[0-9]{1,4})?$"}},
                               Json{{"type", "number"}}})},
        {"description",
         "Exact fixed point with four decimals. Answers are strings with four decimals "
         "(\"12.3400\"); arguments may also be JSON numbers with at most four decimals."}}},
      {"Bool", {{"type", "boolean"}}},
      {"Rowset",
       {{"type", Json::array({"object", "null"})},
        {"description", "A table of typed fields, or null for no rowset."},
        {"required", Json::array({"fields", "rows"})},
        {"properties",
         {{"fields",
           {{"type", "array"},
            {"items",
             {{"type", "object"},
              {"required", Json::array({"name", "type"})},
              {"properties",
               {{"name", {{"type", "string"}}},
                {"type",
                 {{"type", "string"},
                  {"enum", Json::array({"text", "date", "int", "currency", "bool"})}}}}}}}}},
          {"rows", {{"type", "array"}, {"items", {{"type", "array"}, {"items", cell}}}}}}}}},
      {"Error",
       {{"type", "object"},
        {"required", Json::array({"error"})},
        {"properties", {{"error", {{"type", "string"}}}}}}},
  };
}

std::string SchemaKey(const Interface& itf, const Operation& op, const char* what) {
  return std::string(itf.cls) + "." + op.name + "." + what;
}

Json ArgsSchema(const Operation& op) {
  Json properties = Json::object();
  Json required = Json::array();
  for (const boundary::Param& p : op.params) {
    Json schema = p.type == ParamType::kRowset ? Ref("Rowset") : Ref(SchemaName(p.type));
    properties[p.name] = {
        {"allOf", Json::array({schema})},
        {"description",
         p.direction == Direction::kIn ? "in" : "in/out: its final value comes back in byref"}};
    required.push_back(p.name);
  }
  return {{"type", "object"},
          {"additionalProperties", false},
          {"required", required},
          {"properties", properties}};
}

Json AnswerSchema(const Interface& itf, const Operation& op) {
  Json byref = Json::object();
  Json required = Json::array();
  for (const boundary::Param& p : op.params) {
    if (p.direction != Direction::kInOut) continue;
    byref[p.name] = Nullable(p.type);
    required.push_back(p.name);
  }
  Json properties = {{"result", Nullable(op.result)},
                     {"byref",
                      {{"type", "object"},
                       {"additionalProperties", false},
                       {"required", required},
                       {"properties", byref}}}};
  if (std::string_view(itf.progid) == boundary::kWriterProgId) {
    properties["effects"] = Ref("Effects");
    properties["problems"] = {{"type", "array"}, {"items", Ref("Problem")}};
  }
  return {{"type", "object"},
          {"required", Json::array({"result", "byref"})},
          {"properties", properties},
          {"description",
           std::string("The answer of ") + itf.progid + "." + op.name +
               (properties.contains("effects") ? "; a dry run adds effects and problems" : "")}};
}

// A dry run's effects and problems (boundary/effects_json.h).
Json DryRunSchemas() {
  auto object = [](Json properties) {
    Json required = Json::array();
    for (const auto& [name, schema] : properties.items()) required.push_back(name);
    return Json{{"type", "object"}, {"required", required}, {"properties", properties}};
  };
  const Json text = {{"type", "string"}};
  const Json integer = {{"type", "integer"}};
  const Json qty = {{"type", "number"}};
  const Json boolean = {{"type", "boolean"}};
  Json stock = object({{"bill", text},
                       {"line", text},
                       {"shelf", text},
                       {"article", integer},
                       {"serial", text},
                       {"quantity", qty},
                       {"before", qty},
                       {"after", qty}});
  Json bom = object({{"order", text},
                     {"line", text},
                     {"article", integer},
                     {"serial", text},
                     {"bomId", {{"type", Json::array({"integer", "null"})}}},
                     {"quantity", qty},
                     {"added", boolean}});
  Json marks = object({{"order", text},
                       {"line", {{"type", "string"}, {"description", "empty: every line"}}},
                       {"mark", {{"enum", Json::array({"started", "reset"})}}}});
  Json numbers = object({{"number", text}, {"reserved", {{"const", false}}}});
  auto list = [](Json item) { return Json{{"type", "array"}, {"items", std::move(item)}}; };
  Json effects = object({{"stock", list(stock)},
                         {"bom", list(bom)},
                         {"orderLines", list(marks)},
                         {"billNumbers", list(numbers)},
                         {"useLog", list(text)}});
  effects["description"] =
      "What a dry run did before it was rolled back: stock movements with the balances "
      "around them, BOM rows raised, lowered or added, order lines marked started or reset, "
      "bill numbers taken (not reserved: a later call may get them) and use-log lines.";
  Json problem = object({{"kind", {{"const", "short"}}},
                         {"bill", text},
                         {"line", text},
                         {"shelf", text},
                         {"article", integer},
                         {"serial", text},
                         {"needed", qty},
                         {"available", qty},
                         {"shortfall", qty}});
  problem["description"] = "A line whose stock is short; a dry run lists every one.";
  Json event = object({{"seq", integer},
                       {"time", text},
                       {"user", text},
                       {"kind",
                        {{"enum", Json::array({"created", "revised", "deleted", "executed",
                                               "reversed", "planned"})}}},
                       {"bills", list(text)},
                       {"version", {{"type", Json::array({"integer", "null"})}}}});
  event["description"] =
      "One committed change. seq counts up in commit order without gaps; version is the "
      "bill's version after the change (null when the bill is gone or several are named).";
  return {{"Effects", effects}, {"Problem", problem}, {"Event", event}};
}

// The property that makes a writer call a dry run.
Json DryRunProperty() {
  return {{"type", "boolean"},
          {"description",
           "Writer calls only: run as usual, then roll back whatever happened; the answer adds "
           "effects and problems."}};
}

// A JSON request or answer body of the given schema.
Json JsonContent(Json schema) { return {{"application/json", {{"schema", std::move(schema)}}}}; }

Json ErrorAnswer(const char* text) {
  return {{"description", text}, {"content", JsonContent(Ref("Error"))}};
}

// Headers a call may carry besides the bearer token.
Json CallHeaders(bool writer) {
  Json headers = Json::array(
      {Json{{"name", "Plexavo-DB"},
            {"in", "header"},
            {"required", false},
            {"description",
             "The company database, checked with the token from the request head before the "
             "body is read; vstrDB must then name the same database."},
            {"schema", {{"type", "string"}}}}});
  if (writer) {
    headers.push_back(
        {{"name", "Idempotency-Key"},
         {"in", "header"},
         {"required", false},
         {"description",
          "One key per intended action: a repeat with the same key and body answers the kept "
          "answer and changes nothing; the same key with another body is refused with 422."},
         {"schema", {{"type", "string"}, {"pattern", "^[!-~]{1,255}$"}}}});
  }
  return headers;
}

Json ErrorAnswers() {
  return {
      {"400", ErrorAnswer("Malformed request, unknown class or operation, missing, unknown or "
                          "wrongly typed argument")},
      {"401", ErrorAnswer("No bearer token, or one that is not valid for the company database "
                          "the call names")},
      {"409", ErrorAnswer("The call's transaction could not be committed; nothing it changed "
                          "was kept and it may be sent again")},
      {"413", ErrorAnswer("The request body is too large")},
      {"500", ErrorAnswer("The host failed to create or run the object")},
      {"503", ErrorAnswer("The server is stopping or overloaded; the call was not run. "
                          "Retry-After says when to send it again")},
  };
}

Json OperationPath(const Interface& itf, const Operation& op) {
  const bool writer = std::string_view(itf.progid) == boundary::kWriterProgId;
  Json responses = ErrorAnswers();
  if (writer) {
    responses["422"] = ErrorAnswer("The Idempotency-Key was used before with another body");
  }
  responses["200"] = {{"description", "The operation ran; a refusal is result false with vstrErr"},
                      {"content", JsonContent(Ref(SchemaKey(itf, op, "Answer")))}};
  return {
      {"post",
       {{"operationId", std::string(itf.cls) + "_" + op.name},
        {"tags", Json::array({itf.progid})},
        {"summary", std::string(itf.progid) + "." + op.name + " (dispid " +
                        boundary::DispIdText(op.dispid) + ")"},
        {"parameters", CallHeaders(writer)},
        {"requestBody",
         {{"required", true},
          {"content", JsonContent({{"type", "object"},
                                   {"additionalProperties", false},
                                   {"required", Json::array({"args"})},
                                   {"properties",
                                    writer ? Json{{"args", Ref(SchemaKey(itf, op, "Args"))},
                                                  {"dryRun", DryRunProperty()}}
                                           : Json{{"args", Ref(SchemaKey(itf, op, "Args"))}}}})}}},
        {"responses", responses}}}};
}

Json GenericCallPath() {
  Json responses = ErrorAnswers();
  responses["422"] = ErrorAnswer("The Idempotency-Key was used before with another body");
  responses["200"] = {
      {"description", "The operation ran; result and the final in/out values"},
      {"content", JsonContent({{"type", "object"},
                               {"required", Json::array({"result", "byref"})},
                               {"properties",
                                {{"result", Json::object()}, {"byref", {{"type", "object"}}}}}})}};
  return {{"post",
           {{"operationId", "call"},
            {"tags", Json::array({"generic"})},
            {"summary", "Any operation, named in the body by class and name or dispid"},
            {"parameters", CallHeaders(true)},
            {"requestBody",
             {{"required", true},
              {"content",
               JsonContent({{"type", "object"},
                            {"additionalProperties", false},
                            {"required", Json::array({"progid", "args"})},
                            {"properties",
                             {{"progid", {{"type", "string"}}},
                              {"method", {{"type", "string"}}},
                              {"dispid", {{"type", "string"}, {"pattern", "^[0-9A-Fa-f]{1,8}$"}}},
                              {"args", {{"type", "object"}}},
                              {"dryRun", DryRunProperty()}}}})}}},
            {"responses", responses}}}};
}

Json PlainGet(const char* summary, const char* type, Json schema) {
  return {{"get",
           {{"summary", summary},
            {"security", Json::array()},
            {"responses",
             {{"200", {{"description", summary}, {"content", {{type, {{"schema", schema}}}}}}}}}}}};
}

Json EventsPath() {
  auto query = [](const char* name, bool required, Json schema, const char* description) {
    return Json{{"name", name},
                {"in", "query"},
                {"required", required},
                {"description", description},
                {"schema", std::move(schema)}};
  };
  return {{"get",
           {{"operationId", "events"},
            {"tags", Json::array({"feed"})},
            {"summary", "The change feed: committed changes of bills, in commit order"},
            {"description",
             "Answers the events after `after`, oldest first. When there are none yet it "
             "waits up to `wait` seconds and answers as soon as a change commits. A consumer "
             "that keeps the seq of the last event it handled and asks again with after=seq "
             "sees every event exactly once. Needs the read right."},
            {"parameters",
             Json::array(
                 {query("db", true, {{"type", "string"}}, "The company database"),
                  query("after", false, {{"type", "integer"}, {"minimum", 0}},
                        "Last seq already handled (default 0)"),
                  query("limit", false, {{"type", "integer"}, {"minimum", 1}, {"maximum", 1000}},
                        "Most events answered (default 100)"),
                  query("wait", false, {{"type", "integer"}, {"minimum", 0}, {"maximum", 60}},
                        "Seconds to wait for an event when none is there (default 0)")})},
            {"responses",
             {{"200",
               {{"description", "The events, possibly none"},
                {"content",
                 JsonContent({{"type", "object"},
                              {"required", Json::array({"events"})},
                              {"properties",
                               {{"events", {{"type", "array"}, {"items", Ref("Event")}}}}}})}}},
              {"400", ErrorAnswer("Missing db, unknown parameter or a value out of range")},
              {"401", ErrorAnswer("No bearer token, or one not valid for the database")},
              {"403", ErrorAnswer("The user has no right to read bills")},
              {"500", ErrorAnswer("The database could not be read")}}}}}};
}

}  // namespace

Json OpenApiDocument() {
  Json schemas = ValueSchemas();
  Json paths = Json::object();
  paths["/v1/call"] = GenericCallPath();
  for (const Interface* itf : boundary::Interfaces()) {
    for (const Operation& op : *itf->operations) {
      schemas[SchemaKey(*itf, op, "Args")] = ArgsSchema(op);
      schemas[SchemaKey(*itf, op, "Answer")] = AnswerSchema(*itf, op);
      paths[std::string("/v1/call/") + itf->progid + "/" + op.name] = OperationPath(*itf, op);
    }
  }
  schemas.update(DryRunSchemas());
  paths["/v1/events"] = EventsPath();
  paths["/v1/health"] =
      PlainGet("Whether the server answers", "application/json", {{"type", "object"}});
  paths["/v1/interfaces"] =
      PlainGet("Both operation tables", "application/json", {{"type", "object"}});
  paths["/metrics"] =
      PlainGet("Server metrics in the Prometheus text format", "text/plain", {{"type", "string"}});
  return {
      {"openapi", "3.1.0"},
      {"info",
       {{"title", "Plexavo production material issue bills"},
        {"version", "1"},
        {"description",
         "The reader Plexavo.MF_OutBill (queries, look-ups, rights) and the transactional "
         "writer Plexavo.MF_OutBillE (AddNew, Edit, Delete, ExecBill, UnExecBill, "
         "AddFromOutPlan). Every call names its company database in the argument vstrDB and "
         "carries a bearer token of a user of that database. Every writer call is one "
         "transaction that commits or rolls back whole."}}},
      {"servers", Json::array({Json{{"url", "/"}}})},
      {"security", Json::array({Json{{"bearer", Json::array()}}})},
      {"paths", paths},
      {"components",
       {{"schemas", schemas},
        {"securitySchemes", {{"bearer", {{"type", "http"}, {"scheme", "bearer"}}}}}}},
  };
}

}  // namespace server
