#include "data/writer_queue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace data {

class WriterQueue {
 public:
  bool Enter(std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mu_);
    const uint64_t ticket = next_++;
    waiting_.push_back(ticket);
    const bool turn =
        changed_.wait_for(lock, patience, [&] { return !busy_ && waiting_.front() == ticket; });
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
    if (turn) {
      busy_ = true;
    } else {
      changed_.notify_all();  // the next in line may be first now
    }
    return turn;
  }

  void Leave() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      busy_ = false;
    }
    changed_.notify_all();
  }

  size_t Waiting() {
    std::lock_guard<std::mutex> lock(mu_);
    return waiting_.size();
  }

 private:
  std::mutex mu_;
  std::condition_variable changed_;
  bool busy_ = false;
  uint64_t next_ = 0;
  std::deque<uint64_t> waiting_;  // tickets in arrival order
};

namespace {

// One queue per database for the life of the process (a handful of them).
std::shared_ptr<WriterQueue> QueueFor(const std::string& key) {
  static std::mutex mu;
  static auto* queues = new std::map<std::string, std::shared_ptr<WriterQueue>>();
  std::lock_guard<std::mutex> lock(mu);
  auto& q = (*queues)[key];
  if (!q) q = std::make_shared<WriterQueue>();
  return q;
}

}  // namespace

WriterTurn& WriterTurn::operator=(WriterTurn&& other) noexcept {
  if (this != &other) {
    Release();
    queue_ = std::move(other.queue_);
  }
  return *this;
}

WriterTurn WriterTurn::Take(const std::string& key, std::chrono::milliseconds patience) {
  WriterTurn turn;
  std::shared_ptr<WriterQueue> queue = QueueFor(key);
  if (queue->Enter(patience)) turn.queue_ = std::move(queue);
  return turn;
}

void WriterTurn::Release() noexcept {
  if (!queue_) return;
  queue_->Leave();
  queue_.reset();
}

size_t WriterTurn::Waiting(const std::string& key) { return QueueFor(key)->Waiting(); }

}  // namespace data
