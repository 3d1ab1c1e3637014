// MF_OutBill: the reader class. Queries, look-ups and rights questions of
// the bill-entry screen; its write operations are disabled and only refuse.
// Each operation stands alone: the object keeps nothing between calls.
#ifndef PLEXAVO_READER_MF_OUTBILL_H_
#define PLEXAVO_READER_MF_OUTBILL_H_

#include <optional>
#include <string>

#include "base/currency.h"
#include "base/datetime.h"
#include "base/rowset.h"
#include "host/object_context.h"

namespace reader {

class MF_OutBill : public host::Component {
 public:
  using host::Component::Component;

  // Look-ups forwarded to the user and configuration services.
  bool GetUserLang(std::string& vstrLang, const std::string& vstrDB, std::string& vstrErr);
  std::string UserName(const std::string& vstrDB, std::string& vstrErr);
  int32_t UserInnerID(const std::string& vstrDB, std::string& vstrErr);
  std::string CurPeriod(const std::string& vstrDB, std::string& vstrErr);
  std::optional<base::Rowset> GetRstUser(const std::string& vstrDB, std::string& vstrErr);

  // Rights.
  bool CheckRight(bool& vblnRead, bool& vblnEdit, bool& vblnExec, bool& vblnUnExec,
                  const std::string& vstrDB, std::string& vstrErr);
  bool ReadRight(const std::string& vstrDB);
  bool EditRight(const std::string& vstrDB);
  bool ExecRight(const std::string& vstrDB);

  // Disabled write operations: "function kill", false, nothing else touched.
  bool AddNew(std::string& vstrID, const base::DateTime& vdtmDate, const std::string& vstrOpCate,
              const std::string& vstrOrdBill, const std::string& vstrOrdSortID,
              const std::string& vstrProject, const std::string& vstrItem,
              const std::string& vstrOperator, const std::string& vstrMemo,
              const std::optional<base::Rowset>& vrstDetail, bool vblnAutoExe,
              const std::string& vstrDB, std::string& vstrErr);
  bool Edit(const std::string& vstrOldID, std::string& vstrNewID, const base::DateTime& vdtmDate,
            const std::string& vstrOpCate, const std::string& vstrOrdBill,
            const std::string& vstrOrdSortID, const std::string& vstrProject,
            const std::string& vstrItem, const std::string& vstrOperator,
            const std::string& vstrMemo, const std::optional<base::Rowset>& vrstDetail,
            const std::string& vstrDB, std::string& vstrErr);
  bool Delete(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);
  bool ExecBill(const std::string& vstrID, const base::DateTime& vdtmExeDate,
                const std::string& vstrDB, std::string& vstrErr);
  bool UnExecBill(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);
};

}  // namespace reader

#endif  // PLEXAVO_READER_MF_OUTBILL_H_
