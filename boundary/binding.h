// Binding: turns a member function of a class into an invoker over Args.
// Each C++ parameter type maps to one boundary type:
//   std::string → text, base::DateTime → date, int32_t → int,
//   base::Currency → currency, bool → bool, std::optional<base::Rowset> → rowset.
// A parameter taken by non-const reference is in/out: its final value is
// written back into the argument list.
#ifndef PLEXAVO_BOUNDARY_BINDING_H_
#define PLEXAVO_BOUNDARY_BINDING_H_

#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "boundary/dispatch.h"

namespace boundary {

using Invoker = std::function<base::Result<Variant>(host::Component&, Args&)>;

struct Binding {
  Invoker invoke;
  std::vector<Param> signature;  // types and directions the C++ method takes
  ParamType result;
};

namespace internal {

template <typename T>
constexpr ParamType TypeOf() {
  if constexpr (std::is_same_v<T, std::string>) return ParamType::kText;
  if constexpr (std::is_same_v<T, base::DateTime>) return ParamType::kDate;
  if constexpr (std::is_same_v<T, int32_t>) return ParamType::kInt;
  if constexpr (std::is_same_v<T, base::Currency>) return ParamType::kCurrency;
  if constexpr (std::is_same_v<T, bool>) return ParamType::kBool;
  if constexpr (std::is_same_v<T, std::optional<base::Rowset>>) return ParamType::kRowset;
}

template <typename T>
T From(const Variant& v) {
  if constexpr (std::is_same_v<T, std::optional<base::Rowset>>) {
    return v.rowset;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return v.value.TextOrEmpty();
  } else if constexpr (std::is_same_v<T, base::DateTime>) {
    auto d = v.value.AsDate();
    return d.ok() ? *d : base::DateTime();
  } else if constexpr (std::is_same_v<T, int32_t>) {
    auto i = v.value.AsInt();
    return i.ok() ? *i : 0;
  } else if constexpr (std::is_same_v<T, base::Currency>) {
    auto c = v.value.AsCurrency();
    return c.ok() ? *c : base::Currency();
  } else {
    auto b = v.value.AsBool();
    return b.ok() && *b;
  }
}

template <typename T>
Variant To(const T& v) {
  if constexpr (std::is_same_v<T, std::optional<base::Rowset>>) {
    return Variant::Rows(v);
  } else {
    return Variant{TypeOf<T>(), base::Value(v), {}};
  }
}

template <typename P>
constexpr bool IsInOut() {
  return std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;
}

}  // namespace internal

template <typename C, typename R, typename... P>
Binding Bind(R (C::*method)(P...)) {
  Binding b;
  b.signature = {Param{"", internal::TypeOf<std::decay_t<P>>(),
                       internal::IsInOut<P>() ? Direction::kInOut : Direction::kIn}...};
  b.result = internal::TypeOf<R>();
  b.invoke = [method](host::Component& object, Args& args) -> base::Result<Variant> {
    auto* self = dynamic_cast<C*>(&object);
    if (self == nullptr || args.size() != sizeof...(P)) {
      return base::MakeErr(kErrWrongObject, "the object does not implement this operation");
    }
    std::tuple<std::decay_t<P>...> slots;
    [&]<size_t... I>(std::index_sequence<I...>) {
      ((std::get<I>(slots) = internal::From<std::decay_t<P>>(args[I])), ...);
    }
    (std::index_sequence_for<P...>{});
    R result = std::apply([&](auto&... s) { return (self->*method)(s...); }, slots);
    [&]<size_t... I>(std::index_sequence<I...>) {
      ((internal::IsInOut<P>() ? (void)(args[I] = internal::To(std::get<I>(slots))) : (void)0),
       ...);
    }
    (std::index_sequence_for<P...>{});
    return internal::To(result);
  };
  return b;
}

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_BINDING_H_
