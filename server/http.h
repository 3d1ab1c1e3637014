// cpp-httplib as the system builds it. The library is compiled with TLS,
// zlib and brotli support, which changes the layout of its classes, so every
// file must include it through this header to see the same declarations.
#ifndef PLEXAVO_SERVER_HTTP_H_
#define PLEXAVO_SERVER_HTTP_H_

#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#ifndef CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#endif
#ifndef CPPHTTPLIB_BROTLI_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#endif
#include <httplib.h>

#endif  // PLEXAVO_SERVER_HTTP_H_
