#include "platform/event_log.h"

#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

std::atomic<EventLogCapture*> g_capture{nullptr};
std::mutex g_file_mu;

void AppendToFile(const std::string& record) {
  const char* path = std::getenv("PLEXAVO_EVENTLOG");
  if (path == nullptr || *path == '\0') return;
  std::lock_guard<std::mutex> lock(g_file_mu);
  std::ofstream out(path, std::ios::app | std::ios::binary);
  if (out) out << record << "\r\n\r\n";
}

}  // namespace

void WriteEventLogError(const std::string& record) noexcept {
  try {
    if (EventLogCapture* c = g_capture.load()) {
      std::lock_guard<std::mutex> lock(c->mu_);
      c->records_.push_back(record);
    }
    if (std::getenv("PLEXAVO_NO_SYSLOG") == nullptr) {
      openlog("plexavo", LOG_PID, LOG_USER);
      syslog(LOG_ERR, "%s", record.c_str());
    }
    AppendToFile(record);
  } catch (...) {
    // A failing log write must not disturb the operation that logs.
  }
}

unsigned long CurrentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

EventLogCapture::EventLogCapture() { g_capture.store(this); }
EventLogCapture::~EventLogCapture() { g_capture.store(nullptr); }

std::vector<std::string> EventLogCapture::Records() const {
  std::lock_guard<std::mutex> lock(mu_);
  return records_;
}

void EventLogCapture::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  records_.clear();
}

}  // namespace platform
