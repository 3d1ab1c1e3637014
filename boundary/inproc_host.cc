#include "boundary/inproc.h"

namespace boundary {

base::Status RegisterThroughInproc(host::ClassTable& classes) {
  for (const PLX_CLSID* clsid : {&PLX_CLSID_MF_OutBill, &PLX_CLSID_MF_OutBillE}) {
    void* info = nullptr;
    PLXRESULT hr = DllGetClassObject(clsid, &PLX_IID_HostClassInfo, &info);
    if (hr != PLX_S_OK || info == nullptr) {
      return base::MakeErr(base::kErrObjectCreation,
                           "class " + GuidText(*clsid) + " is not available in process");
    }
    classes.Register(*static_cast<const host::ClassInfo*>(info));
  }
  return base::OkStatus();
}

}  // namespace boundary
