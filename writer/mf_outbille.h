// MF_OutBillE: the transactional writer class. It creates, revises,
// deletes, executes and reverses issue bills, and turns an issue plan into
// executed bills. The host runs it in a transaction; every operation
// refuses to work outside one.
#ifndef PLEXAVO_WRITER_MF_OUTBILLE_H_
#define PLEXAVO_WRITER_MF_OUTBILLE_H_

#include <optional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/rowset.h"
#include "frame/outcome.h"
#include "host/object_context.h"

namespace writer {

class MF_OutBillE : public host::Component {
 public:
  using host::Component::Component;

  // Creates one bill with its lines; numbers it when vstrID is empty;
  // executes it at once when vblnAutoExe. All or nothing.
  bool AddNew(std::string& vstrID, const base::DateTime& vdtmDate, const std::string& vstrOpCate,
              const std::string& vstrOrdBill, const std::string& vstrOrdSortID,
              const std::string& vstrProject, const std::string& vstrItem,
              const std::string& vstrOperator, const std::string& vstrMemo,
              const std::optional<base::Rowset>& vrstDetail, bool vblnAutoExe,
              const std::string& vstrDB, std::string& vstrErr);

  // Replaces an unexecuted bill by a new version of itself (new header
  // values, a complete new line set, possibly a new number).
  bool Edit(const std::string& vstrOldID, std::string& vstrNewID, const base::DateTime& vdtmDate,
            const std::string& vstrOpCate, const std::string& vstrOrdBill,
            const std::string& vstrOrdSortID, const std::string& vstrProject,
            const std::string& vstrItem, const std::string& vstrOperator,
            const std::string& vstrMemo, const std::optional<base::Rowset>& vrstDetail,
            const std::string& vstrDB, std::string& vstrErr);

  // Deletes an unexecuted bill, lines first.
  bool Delete(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);

  // Posts an unexecuted bill: stock issue, header stamp, order lines
  // started, BOM issued quantities raised, use log.
  bool ExecBill(const std::string& vstrID, const base::DateTime& vdtmExeDate,
                const std::string& vstrDB, std::string& vstrErr);

  // Takes an execution back.
  bool UnExecBill(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);

  // Turns an issue plan into vlngCount bills, one per run of adjacent plan
  // rows of the same order line, and executes them all. All or nothing.
  bool AddFromOutPlan(const base::DateTime& vdtmDate, int32_t vlngCount,
                      const std::optional<base::Rowset>& vrstDetail, const std::string& vstrDB,
                      std::string& vstrErr);

 private:
  // The edit guard: the bill exists, is not executed, and the user may
  // change it (maintain right; another maker's bill needs "SP0602").
  bool CanEdit(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);
  bool CanDelete(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);
  // Executes the bills AddFromOutPlan made.
  frame::Outcome ExecuteAll(const std::vector<std::string>& numbers, const base::DateTime& date,
                            const std::string& vstrDB, std::string& vstrErr);
};

}  // namespace writer

#endif  // PLEXAVO_WRITER_MF_OUTBILLE_H_
