// Trust in a TLS server's certificate (or its authority) for the tests of this process.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>
#endif

namespace quor::test {

// Makes this process trust the certificate in pemPath (a server's or an authority's) until
// destroyed. Natively through the variable a new session reads; under Wine in the prefix's
// root store, committed at once (certificate checks read the stored roots, not a store's
// unsaved changes).
class TrustedCertificate {
  public:
    explicit TrustedCertificate(const std::string& pemPath) {
#ifdef _WIN32
        std::ifstream in(pemPath);
        std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<BYTE> der(pem.size());
        DWORD length = static_cast<DWORD>(der.size());
        HCERTSTORE root =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
        ok_ = root != nullptr &&
              CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &length,
                                   nullptr, nullptr) &&
              CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), length,
                                               CERT_STORE_ADD_REPLACE_EXISTING, &added_) &&
              CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        if (root != nullptr) {
            CertCloseStore(root, 0);
        }
#else
        ok_ = setenv("CURL_CA_BUNDLE", pemPath.c_str(), 1) == 0;
#endif
    }
    ~TrustedCertificate() {
#ifdef _WIN32
        if (added_ != nullptr) {
            HCERTSTORE root = CertDuplicateStore(added_->hCertStore);
            CertDeleteCertificateFromStore(added_);
            CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            CertCloseStore(root, 0);
        }
#else
        unsetenv("CURL_CA_BUNDLE");
#endif
    }
    bool ok() const {
        return ok_;
    }

  private:
    bool ok_ = false;
#ifdef _WIN32
    PCCERT_CONTEXT added_ = nullptr;
#endif
};

}  // namespace quor::test
