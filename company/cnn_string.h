// GetCnnString: the connection string of a company database, built from its
// settings key "SoftWare\Halvaren\Kelmora\" + name (values Server, UserID,
// PWD). A missing key or value is no error for the caller: the part stays
// empty and one event-log record is written per missing item. Only
// unexpected faults are answered as errors, with number + 0x80040000 and
// source "GetCnnString: " + the fault's source.
#ifndef PLEXAVO_COMPANY_CNN_STRING_H_
#define PLEXAVO_COMPANY_CNN_STRING_H_

#include <string>

#include "base/result.h"

namespace company {

inline constexpr const char* kSettingsKeyPrefix = "SoftWare\\Halvaren\\Kelmora\\";

base::Result<std::string> GetCnnString(const std::string& db);

// Offset added to the number of a fault raised again to a caller.
inline constexpr int32_t kRaiseOffset = -2147221504;  // 0x80040000

// The fault raised again with the offset; the number wraps within 32 bits
// when the sum leaves their range (every negative number does).
base::Err RaiseAgain(const base::Err& fault, const std::string& source_prefix);

}  // namespace company

#endif  // PLEXAVO_COMPANY_CNN_STRING_H_
