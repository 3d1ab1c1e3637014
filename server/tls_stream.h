// TLS for the server's connections: a context made from a certificate chain
// and its private key, and the stream that speaks TLS over one accepted
// socket without blocking.
#ifndef PLEXAVO_SERVER_TLS_STREAM_H_
#define PLEXAVO_SERVER_TLS_STREAM_H_

#include <memory>
#include <string>

#include "base/result.h"
#include "server/http_front.h"

namespace server {

class TlsContext;

// Loads the PEM certificate chain and key (TLS 1.2 and later).
base::Result<std::shared_ptr<TlsContext>> MakeTlsContext(const std::string& cert_file,
                                                         const std::string& key_file);

// A stream that runs the server side of TLS on `fd` (which it owns).
std::unique_ptr<Stream> MakeTlsStream(int fd, const std::shared_ptr<TlsContext>& context);

}  // namespace server

#endif  // PLEXAVO_SERVER_TLS_STREAM_H_
