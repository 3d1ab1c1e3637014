// WriterQueue: writers to one SQLite database take their turns in the order
// they asked, inside the process. SQLite itself lets a waiting writer sleep
// and poll for the lock, so that a late writer often gets in before one
// that has waited long; queueing here first makes the order fair and wakes
// the next writer as soon as the lock is free. Writers of other processes
// still meet the database's own busy timeout.
#ifndef PLEXAVO_DATA_WRITER_QUEUE_H_
#define PLEXAVO_DATA_WRITER_QUEUE_H_

#include <chrono>
#include <memory>
#include <string>

namespace data {

class WriterQueue;

// A writer's turn on one database; given back when it goes.
class WriterTurn {
 public:
  WriterTurn() = default;
  ~WriterTurn() { Release(); }
  WriterTurn(WriterTurn&& other) noexcept : queue_(std::move(other.queue_)) {}
  WriterTurn& operator=(WriterTurn&& other) noexcept;
  WriterTurn(const WriterTurn&) = delete;
  WriterTurn& operator=(const WriterTurn&) = delete;

  // Waits until every writer that asked earlier for `key` has had its turn
  // and given it back, for at most `patience`. Without the turn after that
  // time (held() false) the writer goes on and the database decides.
  static WriterTurn Take(const std::string& key, std::chrono::milliseconds patience);
  bool held() const { return queue_ != nullptr; }
  void Release() noexcept;

  // How many writers wait for `key` now, the holder not counted (tests).
  static size_t Waiting(const std::string& key);

 private:
  std::shared_ptr<WriterQueue> queue_;
};

}  // namespace data

#endif  // PLEXAVO_DATA_WRITER_QUEUE_H_
