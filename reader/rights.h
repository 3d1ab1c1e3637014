// The rights model: what the calling user may do with issue bills, asked of
// the user service afresh on every call. One implementation serves the
// reader (public operations) and the writer (private copies).
//
// The four bill rights are asked together as "MF0301,MF0302,MF0303,MF0304";
// the answer has one character per code and "1" means granted. Read is a
// precondition of the other three: without it the user has no right at all.
// The single rights "SP0602" (change others' bills) and "SP0606" (reverse
// others' executions) are granted only by the answer "1" exactly.
#ifndef PLEXAVO_READER_RIGHTS_H_
#define PLEXAVO_READER_RIGHTS_H_

#include <string>

#include "host/object_context.h"

namespace reader {

inline constexpr const char* kBillRightCodes = "MF0301,MF0302,MF0303,MF0304";
inline constexpr const char* kEditOthersCode = "SP0602";
inline constexpr const char* kUnExecOthersCode = "SP0606";

struct BillRights {
  bool read = false;
  bool edit = false;
  bool exec = false;
  bool unexec = false;
};

// The flags an answer to the four bill rights grants.
BillRights RightsFromAnswer(const std::string& answer);
// Whether an answer to one single right grants it.
bool SingleRightGranted(const std::string& answer);

class Rights {
 public:
  explicit Rights(host::ObjectContext& ctx) : ctx_(ctx) {}

  // True when the user service answered; the flags then hold the rights.
  // On false they are untouched and `err` holds the reason.
  bool CheckRight(bool& read, bool& edit, bool& exec, bool& unexec, const std::string& db,
                  std::string& err);
  // One flag each; false also when the service failed (no reason given).
  bool ReadRight(const std::string& db);
  bool EditRight(const std::string& db);
  bool ExecRight(const std::string& db);
  bool UnExecRight(const std::string& db);
  // True when the service answered; `allowed` then tells the single right.
  bool AllowEditRight(bool& allowed, const std::string& db, std::string& err);
  bool AllowUnExeRight(bool& allowed, const std::string& db, std::string& err);

 private:
  bool Flag(bool BillRights::*flag, const char* method, const std::string& db);
  bool Single(const char* code, const char* method, bool& allowed, const std::string& db,
              std::string& err);
  host::ObjectContext& ctx_;
};

}  // namespace reader

#endif  // PLEXAVO_READER_RIGHTS_H_
