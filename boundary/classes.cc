#include "boundary/classes.h"

#include "boundary/interfaces.h"
#include "reader/mf_outbill.h"
#include "services/registration.h"
#include "writer/mf_outbille.h"

namespace boundary {

void RegisterComponentClasses(host::ClassTable& classes) {
  classes.Register(
      {kReaderProgId, host::TransactionAttribute::kSupports,
       [](host::ObjectContext& ctx) { return std::make_unique<reader::MF_OutBill>(ctx); }});
  classes.Register(
      {kWriterProgId, host::TransactionAttribute::kRequires,
       [](host::ObjectContext& ctx) { return std::make_unique<writer::MF_OutBillE>(ctx); }});
}

void RegisterAll(host::ClassTable& classes) {
  RegisterComponentClasses(classes);
  services::RegisterServices(classes);
}

}  // namespace boundary
