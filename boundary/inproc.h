// The C++ side of the in-process component (libplexavo.so, C ABI in
// include/plexavo/plexavo.h): helpers for hosts built from the same
// sources that create the component's classes through DllGetClassObject.
#ifndef PLEXAVO_BOUNDARY_INPROC_H_
#define PLEXAVO_BOUNDARY_INPROC_H_

#include <plexavo/plexavo.h>

#include <string>

#include "base/result.h"
#include "host/object_context.h"

namespace boundary {

// "{C3EEEF35-DB3F-40F4-9DDA-B06F74B28050}": upper-case hex in byte order.
std::string GuidText(const PLX_GUID& id);
bool SameGuid(const PLX_GUID& a, const PLX_GUID& b);

// Registers both component classes with `classes` as DllGetClassObject
// answers them for PLX_IID_HostClassInfo (program id, transaction
// attribute, factory). The outside services are not included; register
// them with services::RegisterServices. Fails when either class id is not
// available.
base::Status RegisterThroughInproc(host::ClassTable& classes);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_INPROC_H_
