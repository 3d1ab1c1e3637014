#include "boundary/dispatch.h"

#include <map>
#include <string>

#include "boundary/binding.h"
#include "reader/mf_outbill.h"
#include "writer/mf_outbille.h"

namespace boundary {
namespace {

using Table = std::map<std::string, Binding>;

const Table& ReaderBindings() {
  using reader::MF_OutBill;
  static const Table table = {
      {"BillList", Bind(&MF_OutBill::BillList)},
      {"AddNew", Bind(&MF_OutBill::AddNew)},
      {"Edit", Bind(&MF_OutBill::Edit)},
      {"CanEdit", Bind(&MF_OutBill::CanEdit)},
      {"CanDelete", Bind(&MF_OutBill::CanDelete)},
      {"Delete", Bind(&MF_OutBill::Delete)},
      {"ExecBill", Bind(&MF_OutBill::ExecBill)},
      {"UnExecBill", Bind(&MF_OutBill::UnExecBill)},
      {"GetContent", Bind(&MF_OutBill::GetContent)},
      {"CurPeriod", Bind(&MF_OutBill::CurPeriod)},
      {"GetRstUser", Bind(&MF_OutBill::GetRstUser)},
      {"GetMeasID", Bind(&MF_OutBill::GetMeasID)},
      {"GetRstOpCate", Bind(&MF_OutBill::GetRstOpCate)},
      {"GetRstMaker", Bind(&MF_OutBill::GetRstMaker)},
      {"GetShelfName", Bind(&MF_OutBill::GetShelfName)},
      {"GetItemName", Bind(&MF_OutBill::GetItemName)},
      {"GetProjectName", Bind(&MF_OutBill::GetProjectName)},
      {"OrderBomRst", Bind(&MF_OutBill::OrderBomRst)},
      {"ArtExInfo", Bind(&MF_OutBill::ArtExInfo)},
      {"ShopRst", Bind(&MF_OutBill::ShopRst)},
      {"UserName", Bind(&MF_OutBill::UserName)},
      {"UserInnerID", Bind(&MF_OutBill::UserInnerID)},
      {"ReadRight", Bind(&MF_OutBill::ReadRight)},
      {"EditRight", Bind(&MF_OutBill::EditRight)},
      {"ExecRight", Bind(&MF_OutBill::ExecRight)},
      {"CheckRight", Bind(&MF_OutBill::CheckRight)},
      {"DetailInfo", Bind(&MF_OutBill::DetailInfo)},
      {"OutUnListRst", Bind(&MF_OutBill::OutUnListRst)},
      {"PrintRst", Bind(&MF_OutBill::PrintRst)},
      {"GetUserLang", Bind(&MF_OutBill::GetUserLang)},
  };
  return table;
}

const Table& WriterBindings() {
  using writer::MF_OutBillE;
  static const Table table = {
      {"AddNew", Bind(&MF_OutBillE::AddNew)},
      {"Edit", Bind(&MF_OutBillE::Edit)},
      {"Delete", Bind(&MF_OutBillE::Delete)},
      {"ExecBill", Bind(&MF_OutBillE::ExecBill)},
      {"UnExecBill", Bind(&MF_OutBillE::UnExecBill)},
      {"AddFromOutPlan", Bind(&MF_OutBillE::AddFromOutPlan)},
  };
  return table;
}

const Binding* BindingOf(const Interface& itf, const Operation& op) {
  const Table& table = &itf == &ReaderInterface() ? ReaderBindings() : WriterBindings();
  auto it = table.find(op.name);
  return it == table.end() ? nullptr : &it->second;
}

}  // namespace

base::Status VerifyBindings() {
  for (const Interface* itf : Interfaces()) {
    for (const Operation& op : *itf->operations) {
      const Binding* b = BindingOf(*itf, op);
      if (b == nullptr) continue;
      bool same = b->result == op.result && b->signature.size() == op.params.size();
      for (size_t i = 0; same && i < op.params.size(); ++i) {
        same = b->signature[i].type == op.params[i].type &&
               b->signature[i].direction == op.params[i].direction;
      }
      if (!same) {
        return base::MakeErr(kErrWrongObject, std::string(itf->cls) + "." + op.name +
                                                  " is bound to a method of another signature");
      }
    }
  }
  return base::OkStatus();
}

bool IsImplemented(const Interface& itf, const Operation& op) {
  return BindingOf(itf, op) != nullptr;
}

base::Status CheckArgs(const Operation& op, const Args& args) {
  if (args.size() != op.params.size()) {
    return base::MakeErr(kErrBadParamCount, std::string(op.name) + " takes " +
                                                std::to_string(op.params.size()) +
                                                " arguments, not " + std::to_string(args.size()));
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const Param& p = op.params[i];
    bool ok = args[i].type == p.type && (p.type == ParamType::kRowset || !args[i].value.IsNull() ||
                                         p.type == ParamType::kText);
    if (ok && p.type != ParamType::kRowset && !args[i].value.IsNull()) {
      ok = args[i].value.Is(FieldTypeOf(p.type));
    }
    if (!ok) {
      return base::MakeErr(kErrTypeMismatch,
                           std::string("argument ") + p.name + " must be " + ParamTypeName(p.type));
    }
  }
  return base::OkStatus();
}

base::Result<Variant> Invoke(host::Component& object, const Interface& itf, const Operation& op,
                             Args& args) {
  const Binding* binding = BindingOf(itf, op);
  if (binding == nullptr) {
    return base::MakeErr(kErrNotImplemented,
                         std::string(itf.cls) + "." + op.name + " is not implemented yet");
  }
  PLX_RETURN_IF_ERROR(CheckArgs(op, args));
  return binding->invoke(object, args);
}

}  // namespace boundary
