// Result<T>: a value or the error object that explains its absence.
// Status is Result<void>. A default-constructed Result cannot pass for
// success: it holds an internal error until a value is assigned.
#ifndef PLEXAVO_BASE_RESULT_H_
#define PLEXAVO_BASE_RESULT_H_

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

#include "base/err.h"

namespace base {

template <typename T>
class [[nodiscard]] Result {
 public:
  Result() : state_(MakeErr(kErrInternal, "result never set")) {}
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Err err) : state_(std::move(err)) {}    // NOLINT: implicit by design

  bool ok() const { return state_.index() == 0; }
  const Err& err() const {
    assert(!ok());
    return std::get<1>(state_);
  }
  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

 private:
  std::variant<T, Err> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;                        // success
  Result(Err err) : err_(std::move(err)) {}  // NOLINT: implicit by design

  bool ok() const { return !err_.has_value(); }
  const Err& err() const {
    assert(!ok());
    return *err_;
  }

 private:
  std::optional<Err> err_;
};

using Status = Result<void>;

inline Status OkStatus() { return Status(); }

}  // namespace base

// Returns the error of a failed Status or Result from the enclosing function.
#define PLX_RETURN_IF_ERROR(expr)                    \
  do {                                               \
    auto plx_status_ = (expr);                       \
    if (!plx_status_.ok()) return plx_status_.err(); \
  } while (0)

#define PLX_CONCAT_INNER_(a, b) a##b
#define PLX_CONCAT_(a, b) PLX_CONCAT_INNER_(a, b)

// Declares `lhs` from the value of a Result, or returns its error.
#define PLX_ASSIGN_OR_RETURN(lhs, expr) \
  PLX_ASSIGN_OR_RETURN_IMPL_(PLX_CONCAT_(plx_result_, __LINE__), lhs, expr)
#define PLX_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, expr) \
  auto tmp = (expr);                               \
  if (!tmp.ok()) return tmp.err();                 \
  lhs = std::move(tmp).value()

#endif  // PLEXAVO_BASE_RESULT_H_
