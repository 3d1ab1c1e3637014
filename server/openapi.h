// The API description: an OpenAPI 3.1 document generated from the
// interface tables, so that it always names exactly the operations,
// parameters and types the server accepts.
//
// Each operation is described twice: as POST /v1/call/{progid}/{method}
// with {"args": {...}} (one path per operation, what client generators
// want), and through the generic POST /v1/call whose body names the class
// and operation itself.
#ifndef PLEXAVO_SERVER_OPENAPI_H_
#define PLEXAVO_SERVER_OPENAPI_H_

#include "server/json_values.h"

namespace server {

Json OpenApiDocument();

}  // namespace server

#endif  // PLEXAVO_SERVER_OPENAPI_H_
