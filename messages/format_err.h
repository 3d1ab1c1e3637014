// FormatErr: records an unexpected failure in the event log and composes the
// error text the caller receives.
//
// The record is five lines joined by CR LF (no line break at the end):
//   "Method: " + method
//   " Thread ID: 0x" + the thread id in upper-case hex, no leading zeros
//   " Err.Number: " + number
//   " Err.Description: " + description
//   " Err.Source: " + source
// The text returned is number + "-" + description + "-" + source + "-" +
// method. A failing log write is ignored; the text is returned all the same.
#ifndef PLEXAVO_MESSAGES_FORMAT_ERR_H_
#define PLEXAVO_MESSAGES_FORMAT_ERR_H_

#include <string>

#include "base/err.h"

namespace messages {

std::string FormatErr(const std::string& method, const base::Err& err);

// The five-line record alone, for the thread that calls.
std::string EventRecord(const std::string& method, const base::Err& err);

}  // namespace messages

#endif  // PLEXAVO_MESSAGES_FORMAT_ERR_H_
