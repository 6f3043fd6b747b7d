// Puts a test CA into the trusted root store of the Windows system (the
// Wine prefix) it runs in, and takes it out again: the HTTPS tests trust
// their throwaway CA only while they run. Used by tests/e2e/trust_ca.cpp and
// the WinINet tests. Windows only.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tamber::test {

enum class root_store_result { done, absent, failed };

// Adds (`add`), removes (`remove`) or looks for (`has`) the first
// certificate of a PEM file in the local machine's "Root" store. `absent`
// answers `has` when it is not there; removing an absent one is `done`.
inline root_store_result root_store(const std::string& verb, const std::string& pem_path, std::string& message) {
    std::ifstream in(pem_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string pem = text.str();
    DWORD size = 0;
    std::vector<BYTE> der;
    if (in && CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        der.resize(size);
        if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
            der.clear();
    }
    if (der.empty()) {
        message = "cannot read a PEM certificate from '" + pem_path + "'";
        return root_store_result::failed;
    }
    struct certificate {
        PCCERT_CONTEXT context;
        ~certificate() {
            if (context) CertFreeCertificateContext(context);
        }
    } wanted{CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()))};
    // The registry part of the store alone: the system store is a
    // collection, and a certificate deleted through it stays in the registry
    // under Wine.
    struct store {
        HCERTSTORE handle;
        ~store() {
            if (handle) CertCloseStore(handle, 0);
        }
    } root{CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root")};
    if (!wanted.context || !root.handle) {
        message = std::string(wanted.context ? "opening the Root store" : "reading the certificate") +
                  " failed: error " + std::to_string(GetLastError());
        return root_store_result::failed;
    }
    if (verb == "add") {
        if (CertAddCertificateContextToStore(root.handle, wanted.context, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
            return root_store_result::done;
        message = "adding the certificate failed: error " + std::to_string(GetLastError());
        return root_store_result::failed;
    }
    PCCERT_CONTEXT found =
        CertFindCertificateInStore(root.handle, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.context, nullptr);
    if (verb == "has") {
        if (!found) return root_store_result::absent;
        CertFreeCertificateContext(found);
        return root_store_result::done;
    }
    if (verb != "remove") {
        if (found) CertFreeCertificateContext(found);
        message = "unknown command '" + verb + "'";
        return root_store_result::failed;
    }
    if (found && !CertDeleteCertificateFromStore(found)) {  // frees `found` either way
        message = "removing the certificate failed: error " + std::to_string(GetLastError());
        return root_store_result::failed;
    }
    return root_store_result::done;
}

}  // namespace tamber::test
