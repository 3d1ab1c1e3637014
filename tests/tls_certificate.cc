#include "tests/tls_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>

namespace testing_support {

bool WriteCertificate(const std::string& cert_path, const std::string& key_path) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (key == nullptr) return false;
  X509* x = X509_new();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
  X509_gmtime_adj(X509_getm_notBefore(x), 0);
  X509_gmtime_adj(X509_getm_notAfter(x), 3600);
  X509_set_pubkey(x, key);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(x, name);
  bool ok = X509_sign(x, key, EVP_sha256()) > 0;
  FILE* cert = std::fopen(cert_path.c_str(), "w");
  FILE* pem_key = std::fopen(key_path.c_str(), "w");
  ok = ok && cert != nullptr && pem_key != nullptr && PEM_write_X509(cert, x) == 1 &&
       PEM_write_PrivateKey(pem_key, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (cert != nullptr) std::fclose(cert);
  if (pem_key != nullptr) std::fclose(pem_key);
  X509_free(x);
  EVP_PKEY_free(key);
  return ok;
}

}  // namespace testing_support
