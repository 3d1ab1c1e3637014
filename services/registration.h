// Registers the outside services this component calls with a class table,
// so that the host can create them by program id.
#ifndef PLEXAVO_SERVICES_REGISTRATION_H_
#define PLEXAVO_SERVICES_REGISTRATION_H_

#include "host/object_context.h"

namespace services {

void RegisterServices(host::ClassTable& classes);

}  // namespace services

#endif  // PLEXAVO_SERVICES_REGISTRATION_H_
