// A hosted class that does nothing itself: tests create one to get an object
// context for the code under test, inside or outside a transaction.
#ifndef PLEXAVO_TESTS_PROBE_OBJECT_H_
#define PLEXAVO_TESTS_PROBE_OBJECT_H_

#include <memory>
#include <string>

#include "host/object_context.h"

namespace testing_support {

class ProbeObject : public host::Component {
 public:
  using host::Component::Component;
};

inline constexpr const char* kProbeInTx = "Test.ProbeInTx";
inline constexpr const char* kProbeNoTx = "Test.ProbeNoTx";
inline constexpr const char* kProbeNever = "Test.ProbeNever";

inline void RegisterProbes(host::ClassTable& classes) {
  auto factory = [](host::ObjectContext& ctx) { return std::make_unique<ProbeObject>(ctx); };
  classes.Register({kProbeInTx, host::TransactionAttribute::kRequires, factory});
  classes.Register({kProbeNoTx, host::TransactionAttribute::kSupports, factory});
  classes.Register({kProbeNever, host::TransactionAttribute::kNone, factory});
}

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_PROBE_OBJECT_H_
