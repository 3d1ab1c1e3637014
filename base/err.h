// The error object: the failure a method frame sees, with the three fields
// that reach the caller's error text and the event log.
#ifndef PLEXAVO_BASE_ERR_H_
#define PLEXAVO_BASE_ERR_H_

#include <cstdint>
#include <string>

namespace base {

struct Err {
  int32_t number = 0;
  std::string source;
  std::string description;
};

// Numbers used for failures that do not come from a database provider.
// They are the numbers the component's callers already know from the
// original run-time; see docs/errors.md for the whole mapping.
inline constexpr int32_t kErrInvalidArgument = 5;     // invalid procedure call or argument
inline constexpr int32_t kErrOverflow = 6;            // overflow
inline constexpr int32_t kErrOutOfMemory = 7;         // out of memory
inline constexpr int32_t kErrDivisionByZero = 11;     // division by zero
inline constexpr int32_t kErrTypeMismatch = 13;       // type mismatch (a text that is no number)
inline constexpr int32_t kErrInvalidUseOfNull = 94;   // a NULL where a value was needed
inline constexpr int32_t kErrNoCurrentRecord = 3021;  // no row where one was read
inline constexpr int32_t kErrFieldNotFound = 3265;    // no field of that name in a rowset
inline constexpr int32_t kErrObjectCreation = 429;    // a class could not be created
inline constexpr int32_t kErrInternal = 51;           // an unforeseen failure
inline constexpr int32_t kErrObjectNotSet = 91;       // an object (an input rowset) that is missing

// Source of failures raised by the component's own code.
inline constexpr const char* kComponentSource = "Plexavo";

Err MakeErr(int32_t number, std::string description, std::string source = kComponentSource);

}  // namespace base

#endif  // PLEXAVO_BASE_ERR_H_
