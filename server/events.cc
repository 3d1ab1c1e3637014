#include "server/events.h"

#include <charconv>

#include "server/json_values.h"

namespace server {
namespace {

base::Err Bad(const std::string& text) { return base::MakeErr(base::kErrInvalidArgument, text); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

base::Result<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] != '%') {
      out += text[i];
    } else {
      const int hi = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int lo = hi >= 0 ? HexDigit(text[i + 2]) : -1;
      if (lo < 0) return Bad("bad percent escape in the query");
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
  }
  return out;
}

base::Result<int32_t> Bounded(const std::string& name, const std::string& text, int32_t low,
                              int32_t high) {
  int32_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < low ||
      v > high) {
    return Bad(name + " must be a whole number from " + std::to_string(low) + " to " +
               std::to_string(high));
  }
  return v;
}

}  // namespace

base::Result<EventsRequest> ParseEventsRequest(std::string_view query) {
  EventsRequest r;
  bool named_db = false;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    PLX_ASSIGN_OR_RETURN(std::string name, PercentDecoded(pair.substr(0, eq)));
    PLX_ASSIGN_OR_RETURN(
        std::string value,
        PercentDecoded(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1)));
    if (name == "db") {
      r.db = value;
      named_db = true;
    } else if (name == "after") {
      PLX_ASSIGN_OR_RETURN(r.after, Bounded("after", value, 0, INT32_MAX));
    } else if (name == "limit") {
      PLX_ASSIGN_OR_RETURN(r.limit, Bounded("limit", value, 1, kMaxEventLimit));
    } else if (name == "wait") {
      PLX_ASSIGN_OR_RETURN(r.wait_s, Bounded("wait", value, 0, kMaxEventWait));
    } else {
      return Bad("unknown query parameter '" + name + "' (expected db, after, limit, wait)");
    }
  }
  if (!named_db || r.db.empty()) return Bad("db=NAME is required");
  return r;
}

std::string EventJson(const frame::feed::Event& e) {
  Json bills = Json::array();
  for (const std::string& b : e.bills) bills.push_back(b);
  return Dump(Json{{"seq", e.seq},
                   {"time", e.time},
                   {"user", e.user},
                   {"kind", e.kind},
                   {"bills", std::move(bills)},
                   {"version", e.version ? Json(*e.version) : Json()}});
}

std::string EventsJson(const std::vector<frame::feed::Event>& events) {
  std::string out = "{\"events\":[";
  for (size_t i = 0; i < events.size(); ++i) out += (i ? "," : "") + EventJson(events[i]);
  return out + "]}";
}

}  // namespace server
