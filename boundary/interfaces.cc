#include "boundary/interfaces.h"

#include <strings.h>

#include <cstdio>

namespace boundary {
namespace {

using T = ParamType;
using D = Direction;

// clang-format off
// Parameter lists both interfaces share.
const std::vector<Param> kAddNewParams =
     {{"vstrID", T::kText, D::kInOut}, {"vdtmDate", T::kDate, D::kIn}, {"vstrOpCate", T::kText, D::kIn}, {"vstrOrdBill", T::kText, D::kIn}, {"vstrOrdSortID", T::kText, D::kIn}, {"vstrProject", T::kText, D::kIn}, {"vstrItem", T::kText, D::kIn}, {"vstrOperator", T::kText, D::kIn}, {"vstrMemo", T::kText, D::kIn}, {"vrstDetail", T::kRowset, D::kIn}, {"vblnAutoExe", T::kBool, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}};
const std::vector<Param> kEditParams =
     {{"vstrOldID", T::kText, D::kIn}, {"vstrNewID", T::kText, D::kInOut}, {"vdtmDate", T::kDate, D::kIn}, {"vstrOpCate", T::kText, D::kIn}, {"vstrOrdBill", T::kText, D::kIn}, {"vstrOrdSortID", T::kText, D::kIn}, {"vstrProject", T::kText, D::kIn}, {"vstrItem", T::kText, D::kIn}, {"vstrOperator", T::kText, D::kIn}, {"vstrMemo", T::kText, D::kIn}, {"vrstDetail", T::kRowset, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}};
const std::vector<Param> kExecBillParams =
     {{"vstrID", T::kText, D::kIn}, {"vdtmExeDate", T::kDate, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}};
// An operation on the one row vstrID names (a bill, a shelf, an item, a
// project): the id, the company database, the error text.
const std::vector<Param> kByIdParams =
     {{"vstrID", T::kText, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}};
const std::vector<Operation> kReaderOperations = {
    {"BillList", 0x60030000, T::kRowset,
     {{"vstrBillID", T::kText, D::kIn}, {"vdtmBegin", T::kDate, D::kIn}, {"vdtmEnd", T::kDate, D::kIn}, {"vstrShopID", T::kText, D::kIn}, {"vlngState", T::kInt, D::kIn}, {"vstrMaker", T::kText, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"AddNew", 0x60030001, T::kBool, kAddNewParams},
    {"Edit", 0x60030002, T::kBool, kEditParams},
    {"CanEdit", 0x60030003, T::kBool, kByIdParams},
    {"CanDelete", 0x60030004, T::kBool, kByIdParams},
    {"Delete", 0x60030005, T::kBool, kByIdParams},
    {"ExecBill", 0x60030006, T::kBool, kExecBillParams},
    {"UnExecBill", 0x60030007, T::kBool, kByIdParams},
    {"GetContent", 0x60030008, T::kRowset,
     {{"vstrBillID", T::kText, D::kIn}, {"vdtmDate", T::kDate, D::kInOut}, {"vdtmExeDate", T::kDate, D::kInOut}, {"vstrOrdBillID", T::kText, D::kInOut}, {"vstrOrdSortID", T::kText, D::kInOut}, {"vstrOpCateID", T::kText, D::kInOut}, {"vstrProjID", T::kText, D::kInOut}, {"vstrProjName", T::kText, D::kInOut}, {"vstrItemID", T::kText, D::kInOut}, {"vstrItemName", T::kText, D::kInOut}, {"vstrMaker", T::kText, D::kInOut}, {"vstrExecer", T::kText, D::kInOut}, {"vstrOperator", T::kText, D::kInOut}, {"vstrMemo", T::kText, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetMeasID", 0x60030009, T::kText,
     {{"vlngArtID", T::kInt, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"CurPeriod", 0x6003000A, T::kText,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetRstUser", 0x6003000B, T::kRowset,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetRstOpCate", 0x6003000C, T::kRowset,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetRstMaker", 0x6003000D, T::kRowset,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetShelfName", 0x6003000E, T::kText, kByIdParams},
    {"GetItemName", 0x6003000F, T::kText, kByIdParams},
    {"GetProjectName", 0x60030010, T::kText, kByIdParams},
    {"OrderBomRst", 0x60030011, T::kRowset,
     {{"vstrBillID", T::kText, D::kIn}, {"vstrSortID", T::kText, D::kIn}, {"vstrArtCode", T::kText, D::kInOut}, {"vstrArtName", T::kText, D::kInOut}, {"vcurQty", T::kCurrency, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"ArtExInfo", 0x60030012, T::kBool,
     {{"vstrArtCode", T::kText, D::kIn}, {"vlngArtID", T::kInt, D::kInOut}, {"vstrArtName", T::kText, D::kInOut}, {"vstrMeasID", T::kText, D::kInOut}, {"vlngSerial", T::kInt, D::kInOut}, {"vlngKeepDay", T::kInt, D::kInOut}, {"vstrShelfID", T::kText, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"UserName", 0x60030013, T::kText,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"UserInnerID", 0x60030014, T::kInt,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"ReadRight", 0x60030015, T::kBool,
     {{"vstrDB", T::kText, D::kIn}}},
    {"EditRight", 0x60030016, T::kBool,
     {{"vstrDB", T::kText, D::kIn}}},
    {"ExecRight", 0x60030017, T::kBool,
     {{"vstrDB", T::kText, D::kIn}}},
    {"CheckRight", 0x60030018, T::kBool,
     {{"vblnRead", T::kBool, D::kInOut}, {"vblnEdit", T::kBool, D::kInOut}, {"vblnExec", T::kBool, D::kInOut}, {"vblnUnExec", T::kBool, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"DetailInfo", 0x60030019, T::kBool,
     {{"vstrOrdBill", T::kText, D::kIn}, {"vstrOrdSortID", T::kText, D::kIn}, {"vstrBillID", T::kText, D::kIn}, {"vstrSortID", T::kText, D::kIn}, {"vdtmOutDate", T::kDate, D::kInOut}, {"vlngArtID", T::kInt, D::kInOut}, {"vstrArtCode", T::kText, D::kInOut}, {"vcurStQty", T::kCurrency, D::kInOut}, {"vcurCanUnQty", T::kCurrency, D::kInOut}, {"vstrMeasID", T::kText, D::kInOut}, {"vcurPrice", T::kCurrency, D::kInOut}, {"vstrMemo", T::kText, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"OutUnListRst", 0x6003001A, T::kRowset,
     {{"vstrOrdBill", T::kText, D::kIn}, {"vstrOrdSortID", T::kText, D::kIn}, {"vdtmBegin", T::kDate, D::kIn}, {"vdtmEnd", T::kDate, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"PrintRst", 0x6003001B, T::kRowset,
     {{"vstrBillID", T::kText, D::kIn}, {"vstrBegID", T::kText, D::kIn}, {"vstrEndID", T::kText, D::kIn}, {"vlngFlag", T::kInt, D::kIn}, {"vdtmBeg", T::kDate, D::kIn}, {"vdtmEnd", T::kDate, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"GetUserLang", 0x6003001C, T::kBool,
     {{"vstrLang", T::kText, D::kInOut}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
    {"ShopRst", 0x6003001D, T::kRowset,
     {{"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
};
const std::vector<Operation> kWriterOperations = {
    {"AddNew", 0x60030000, T::kBool, kAddNewParams},
    {"Edit", 0x60030002, T::kBool, kEditParams},
    {"Delete", 0x60030005, T::kBool, kByIdParams},
    {"ExecBill", 0x60030006, T::kBool, kExecBillParams},
    {"UnExecBill", 0x60030007, T::kBool, kByIdParams},
    {"AddFromOutPlan", 0x60030008, T::kBool,
     {{"vdtmDate", T::kDate, D::kIn}, {"vlngCount", T::kInt, D::kIn}, {"vrstDetail", T::kRowset, D::kIn}, {"vstrDB", T::kText, D::kIn}, {"vstrErr", T::kText, D::kInOut}}},
};
// clang-format on

bool SameName(std::string_view a, const char* b) {
  return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

}  // namespace

const char* ParamTypeName(ParamType type) {
  switch (type) {
    case ParamType::kText:
      return "text";
    case ParamType::kDate:
      return "date";
    case ParamType::kInt:
      return "int";
    case ParamType::kCurrency:
      return "currency";
    case ParamType::kBool:
      return "bool";
    case ParamType::kRowset:
      return "rowset";
  }
  return "text";
}

const Interface& ReaderInterface() {
  static const Interface itf{"_MF_OutBill", "MF_OutBill", kReaderProgId, &kReaderOperations};
  return itf;
}

const Interface& WriterInterface() {
  static const Interface itf{"_MF_OutBillE", "MF_OutBillE", kWriterProgId, &kWriterOperations};
  return itf;
}

const std::vector<const Interface*>& Interfaces() {
  static const std::vector<const Interface*> all{&ReaderInterface(), &WriterInterface()};
  return all;
}

const Interface* InterfaceByProgId(std::string_view progid) {
  for (const Interface* itf : Interfaces()) {
    if (SameName(progid, itf->progid)) return itf;
  }
  return nullptr;
}

const Operation* OperationByName(const Interface& itf, std::string_view name) {
  for (const Operation& op : *itf.operations) {
    if (SameName(name, op.name)) return &op;
  }
  return nullptr;
}

const Operation* OperationByDispId(const Interface& itf, uint32_t dispid) {
  for (const Operation& op : *itf.operations) {
    if (op.dispid == dispid) return &op;
  }
  return nullptr;
}

const Param* ParamByName(const Operation& op, std::string_view name) {
  for (const Param& p : op.params) {
    if (name == p.name) return &p;
  }
  return nullptr;
}

std::optional<uint32_t> ParseDispId(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    v = v * 16 + static_cast<uint32_t>(digit);
  }
  return v;
}

std::string DispIdText(uint32_t dispid) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", dispid);
  return buf;
}

}  // namespace boundary
