/* trust_ca: puts a test CA into the trusted root store of the Wine prefix
 * it runs in, and takes it out again, so that the HTTPS tests trust their
 * throwaway CA only while they run.
 *   trust_ca add CERT.pem      add the certificate to the local machine's
 *                              "Root" store (replacing an equal one)
 *   trust_ca remove CERT.pem   delete it from that store again (no error
 *                              when it is not there)
 *   trust_ca has CERT.pem      exit code 0 when the store holds it, 1 if not
 * Exit code 0 on success, 1 on failure (with a message on stderr), 2 on bad
 * arguments. */
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The DER bytes of the first certificate of a PEM file; null on failure.
 * The caller frees them. */
static BYTE *read_pem(const char *path, DWORD *size) {
    FILE *file = fopen(path, "rb");
    char *text = NULL;
    long length = 0;
    BYTE *der = NULL;
    if (!file) return NULL;
    if (fseek(file, 0, SEEK_END) == 0 && (length = ftell(file)) > 0 && fseek(file, 0, SEEK_SET) == 0 &&
        (text = malloc((size_t)length + 1)) != NULL && fread(text, 1, (size_t)length, file) == (size_t)length) {
        text[length] = '\0';
        *size = 0;
        if (CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64HEADER, NULL, size, NULL, NULL) &&
            (der = malloc(*size)) != NULL &&
            !CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64HEADER, der, size, NULL, NULL)) {
            free(der);
            der = NULL;
        }
    }
    free(text);
    fclose(file);
    return der;
}

int main(int argc, char **argv) {
    const char *verb;
    BYTE *der;
    DWORD size = 0;
    PCCERT_CONTEXT wanted, found;
    HCERTSTORE store;
    int result = 0;
    if (argc != 3) {
        fprintf(stderr, "usage: trust_ca add|remove|has CERT.pem\n");
        return 2;
    }
    verb = argv[1];
    if (strcmp(verb, "add") != 0 && strcmp(verb, "remove") != 0 && strcmp(verb, "has") != 0) {
        fprintf(stderr, "trust_ca: unknown command '%s'\n", verb);
        return 2;
    }
    der = read_pem(argv[2], &size);
    if (!der) {
        fprintf(stderr, "trust_ca: cannot read a PEM certificate from '%s'\n", argv[2]);
        return 1;
    }
    wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
    /* The registry part of the store alone: the system store is a
     * collection, and a certificate deleted through it stays in the
     * registry under Wine. */
    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!wanted || !store) {
        fprintf(stderr, "trust_ca: %s failed: error %lu\n", wanted ? "opening the Root store" : "reading the certificate",
                GetLastError());
        result = 1;
    } else if (strcmp(verb, "add") == 0) {
        if (!CertAddCertificateContextToStore(store, wanted, CERT_STORE_ADD_REPLACE_EXISTING, NULL)) {
            fprintf(stderr, "trust_ca: adding the certificate failed: error %lu\n", GetLastError());
            result = 1;
        }
    } else {
        found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, NULL);
        if (strcmp(verb, "has") == 0) {
            result = found ? 0 : 1;
            if (found) CertFreeCertificateContext(found);
        } else if (found && !CertDeleteCertificateFromStore(found)) { /* frees `found` either way */
            fprintf(stderr, "trust_ca: removing the certificate failed: error %lu\n", GetLastError());
            result = 1;
        }
    }
    if (store) CertCloseStore(store, 0);
    if (wanted) CertFreeCertificateContext(wanted);
    free(der);
    return result;
}
