// A reader whose making waits until the test opens its gate: tests hold a
// call inside the server (or the host) for as long as they need.
#ifndef PLEXAVO_TESTS_GATED_READER_H_
#define PLEXAVO_TESTS_GATED_READER_H_

#include <condition_variable>
#include <memory>
#include <mutex>

#include "boundary/classes.h"
#include "reader/mf_outbill.h"

namespace testing_support {

class GatedReader : public reader::MF_OutBill {
 public:
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    int entered = 0;
    bool open = false;
  };

  GatedReader(host::ObjectContext& ctx, Gate& gate) : MF_OutBill(ctx) {
    std::unique_lock<std::mutex> lock(gate.m);
    ++gate.entered;
    gate.cv.notify_all();
    gate.cv.wait(lock, [&gate] { return gate.open; });
  }

  // Registers every class, the reader as one held at `gate`.
  static void RegisterAll(host::ClassTable& classes, Gate& gate) {
    boundary::RegisterAll(classes);
    classes.Register(
        {"Plexavo.MF_OutBill", host::TransactionAttribute::kSupports,
         [&gate](host::ObjectContext& ctx) { return std::make_unique<GatedReader>(ctx, gate); }});
  }
};

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_GATED_READER_H_
