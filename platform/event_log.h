// The application event log: error records written by the method frame.
// Records go to syslog (LOG_ERR, ident "plexavo") and, when $PLEXAVO_EVENTLOG
// names a file, are appended there too, each followed by a blank line.
// A failing write is ignored. Tests install a capture to see the records.
#ifndef PLEXAVO_PLATFORM_EVENT_LOG_H_
#define PLEXAVO_PLATFORM_EVENT_LOG_H_

#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Writes one record of type error. Never throws.
void WriteEventLogError(const std::string& record) noexcept;

// The id of the calling thread as the kernel knows it.
unsigned long CurrentThreadId();

// While alive, every record written (by any thread) is also kept here.
class EventLogCapture {
 public:
  EventLogCapture();
  ~EventLogCapture();
  EventLogCapture(const EventLogCapture&) = delete;
  EventLogCapture& operator=(const EventLogCapture&) = delete;

  std::vector<std::string> Records() const;
  void Clear();

 private:
  friend void WriteEventLogError(const std::string& record) noexcept;
  mutable std::mutex mu_;
  std::vector<std::string> records_;
};

}  // namespace platform

#endif  // PLEXAVO_PLATFORM_EVENT_LOG_H_
