// Table names of the company database, as every statement spells them.
#ifndef PLEXAVO_SCHEMA_TABLES_H_
#define PLEXAVO_SCHEMA_TABLES_H_

namespace schema {

// Owned by this component.
inline constexpr const char* kOutBill = "MF_OutBill";
inline constexpr const char* kOutDetail = "MF_OutDetail";
// Production orders, changed on execution.
inline constexpr const char* kOrdBom = "MF_OrdBom";
inline constexpr const char* kOrdDetail = "MF_OrdDetail";
// Appended to.
inline constexpr const char* kUseLog = "SM_UseLog";

// The module code of this component.
inline constexpr const char* kModule = "MF";

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_TABLES_H_
