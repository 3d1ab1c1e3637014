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

namespace frame {
struct ReaderGate;
}  // namespace frame

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

  // Look-ups of the bill-entry screen, each forwarded to a sibling service
  // of the ERP; GetRstOpCate reads the operation categories itself.
  std::string GetMeasID(int32_t vlngArtID, const std::string& vstrDB, std::string& vstrErr);
  std::optional<base::Rowset> GetRstOpCate(const std::string& vstrDB, std::string& vstrErr);
  std::optional<base::Rowset> GetRstMaker(const std::string& vstrDB, std::string& vstrErr);
  std::string GetShelfName(const std::string& vstrID, const std::string& vstrDB,
                           std::string& vstrErr);
  std::string GetItemName(const std::string& vstrID, const std::string& vstrDB,
                          std::string& vstrErr);
  std::string GetProjectName(const std::string& vstrID, const std::string& vstrDB,
                             std::string& vstrErr);
  std::optional<base::Rowset> OrderBomRst(const std::string& vstrBillID,
                                          const std::string& vstrSortID, std::string& vstrArtCode,
                                          std::string& vstrArtName, base::Currency& vcurQty,
                                          const std::string& vstrDB, std::string& vstrErr);
  std::optional<base::Rowset> ShopRst(const std::string& vstrDB, std::string& vstrErr);
  bool ArtExInfo(const std::string& vstrArtCode, int32_t& vlngArtID, std::string& vstrArtName,
                 std::string& vstrMeasID, int32_t& vlngSerial, int32_t& vlngKeepDay,
                 std::string& vstrShelfID, const std::string& vstrDB, std::string& vstrErr);

  // Bill lists and print data.
  std::optional<base::Rowset> BillList(const std::string& vstrBillID,
                                       const base::DateTime& vdtmBegin,
                                       const base::DateTime& vdtmEnd, const std::string& vstrShopID,
                                       int32_t vlngState, const std::string& vstrMaker,
                                       const std::string& vstrDB, std::string& vstrErr);
  std::optional<base::Rowset> PrintRst(const std::string& vstrBillID, const std::string& vstrBegID,
                                       const std::string& vstrEndID, int32_t vlngFlag,
                                       const base::DateTime& vdtmBeg, const base::DateTime& vdtmEnd,
                                       const std::string& vstrDB, std::string& vstrErr);

  // One bill's header (in/out parameters) and lines; one line's details for
  // a return; the executed lines of an order line still open for return.
  std::optional<base::Rowset> GetContent(const std::string& vstrBillID, base::DateTime& vdtmDate,
                                         base::DateTime& vdtmExeDate, std::string& vstrOrdBillID,
                                         std::string& vstrOrdSortID, std::string& vstrOpCateID,
                                         std::string& vstrProjID, std::string& vstrProjName,
                                         std::string& vstrItemID, std::string& vstrItemName,
                                         std::string& vstrMaker, std::string& vstrExecer,
                                         std::string& vstrOperator, std::string& vstrMemo,
                                         const std::string& vstrDB, std::string& vstrErr);
  bool DetailInfo(const std::string& vstrOrdBill, const std::string& vstrOrdSortID,
                  const std::string& vstrBillID, const std::string& vstrSortID,
                  base::DateTime& vdtmOutDate, int32_t& vlngArtID, std::string& vstrArtCode,
                  base::Currency& vcurStQty, base::Currency& vcurCanUnQty, std::string& vstrMeasID,
                  base::Currency& vcurPrice, std::string& vstrMemo, const std::string& vstrDB,
                  std::string& vstrErr);
  std::optional<base::Rowset> OutUnListRst(const std::string& vstrOrdBill,
                                           const std::string& vstrOrdSortID,
                                           const base::DateTime& vdtmBegin,
                                           const base::DateTime& vdtmEnd, const std::string& vstrDB,
                                           std::string& vstrErr);

  // Whether the calling user may still change or delete a bill.
  bool CanEdit(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);
  bool CanDelete(const std::string& vstrID, const std::string& vstrDB, std::string& vstrErr);

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

 private:
  // The reader frame's gate: this class's language look-up, then `right`,
  // refused with catalogue message `refusal`.
  frame::ReaderGate Gate(bool (MF_OutBill::*right)(const std::string&), int32_t refusal);
};

}  // namespace reader

#endif  // PLEXAVO_READER_MF_OUTBILL_H_
