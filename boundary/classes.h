// The component's classes and the outside services, registered with a
// host's class table under their program ids and transaction attributes:
// MF_OutBill supports a transaction, MF_OutBillE requires one.
#ifndef PLEXAVO_BOUNDARY_CLASSES_H_
#define PLEXAVO_BOUNDARY_CLASSES_H_

#include "host/object_context.h"

namespace boundary {

void RegisterComponentClasses(host::ClassTable& classes);

// Component classes and outside services together: what a host needs.
void RegisterAll(host::ClassTable& classes);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_CLASSES_H_
