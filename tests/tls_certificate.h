// Self-signed certificates for tests of the server over TLS.
#ifndef PLEXAVO_TESTS_TLS_CERTIFICATE_H_
#define PLEXAVO_TESTS_TLS_CERTIFICATE_H_

#include <string>

namespace testing_support {

// Writes a self-signed certificate for "localhost", valid for an hour, and
// its P-256 key as PEM files; false when a step fails.
bool WriteCertificate(const std::string& cert_path, const std::string& key_path);

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_TLS_CERTIFICATE_H_
