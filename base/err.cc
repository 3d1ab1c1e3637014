#include "base/err.h"

#include <utility>

namespace base {

Err MakeErr(int32_t number, std::string description, std::string source) {
  return Err{number, std::move(source), std::move(description)};
}

}  // namespace base
