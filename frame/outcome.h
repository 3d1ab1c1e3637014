// Outcome: how an operation body ended, which decides what the method frame
// writes into the caller's error text.
//   Ok        success: the frame votes commit and answers the result.
//   Refused   a check failed: the error text becomes the given text.
//   Reported  a callee that shares the error text has already written it.
//   Fault     an unexpected failure: the error text becomes FormatErr's
//             composed text for the operation's method text, and the event
//             log gets its record.
#ifndef PLEXAVO_FRAME_OUTCOME_H_
#define PLEXAVO_FRAME_OUTCOME_H_

#include <string>
#include <utility>

#include "base/result.h"

namespace frame {

class [[nodiscard]] Outcome {
 public:
  enum class Kind { kOk, kRefused, kReported, kFault };

  static Outcome Ok() { return Outcome(Kind::kOk); }
  static Outcome Refused(std::string text) {
    Outcome o(Kind::kRefused);
    o.text_ = std::move(text);
    return o;
  }
  static Outcome Reported() { return Outcome(Kind::kReported); }
  static Outcome Fault(base::Err err) {
    Outcome o(Kind::kFault);
    o.err_ = std::move(err);
    return o;
  }
  // A failed Status or Result is an unexpected failure; a good one is Ok.
  template <typename T>
  Outcome(const base::Result<T>& r) : kind_(r.ok() ? Kind::kOk : Kind::kFault) {  // NOLINT
    if (!r.ok()) err_ = r.err();
  }
  Outcome(base::Err err) : kind_(Kind::kFault), err_(std::move(err)) {}  // NOLINT

  bool ok() const { return kind_ == Kind::kOk; }
  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }
  const base::Err& err() const { return err_; }

 private:
  explicit Outcome(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::string text_;
  base::Err err_;
};

}  // namespace frame

// Ends the enclosing body with `expr`'s outcome unless it is Ok.
#define PLX_RETURN_IF_NOT_OK(expr)               \
  do {                                           \
    ::frame::Outcome plx_outcome_ = (expr);      \
    if (!plx_outcome_.ok()) return plx_outcome_; \
  } while (0)

#endif  // PLEXAVO_FRAME_OUTCOME_H_
