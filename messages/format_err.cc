#include "messages/format_err.h"

#include <cstdio>

#include "platform/event_log.h"

namespace messages {

std::string EventRecord(const std::string& method, const base::Err& err) {
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lX", platform::CurrentThreadId());
  return "Method: " + method + "\r\n Thread ID: 0x" + tid +
         "\r\n Err.Number: " + std::to_string(err.number) +
         "\r\n Err.Description: " + err.description + "\r\n Err.Source: " + err.source;
}

std::string FormatErr(const std::string& method, const base::Err& err) {
  // Copy the error first: the log write must not be able to change it.
  const base::Err copy = err;
  try {
    platform::WriteEventLogError(EventRecord(method, copy));
  } catch (...) {
  }
  return std::to_string(copy.number) + "-" + copy.description + "-" + copy.source + "-" + method;
}

}  // namespace messages
