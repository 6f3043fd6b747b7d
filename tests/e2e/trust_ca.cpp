// trust_ca: puts a test CA into the trusted root store of the Wine prefix
// it runs in, and takes it out again, so that the HTTPS tests trust their
// throwaway CA only while they run.
//   trust_ca add CERT.pem      add the certificate to the local machine's
//                              "Root" store (replacing an equal one)
//   trust_ca remove CERT.pem   delete it from that store again (no error
//                              when it is not there)
//   trust_ca has CERT.pem      exit code 0 when the store holds it, 1 if not
// Exit code 0 on success, 1 on failure (with a message on stderr), 2 on bad
// arguments.
#include <cstdio>
#include <string>

#include "support/root_store.h"

int main(int argc, char** argv) {
    const std::string verb = argc == 3 ? argv[1] : "";
    if (verb != "add" && verb != "remove" && verb != "has") {
        std::fprintf(stderr, "usage: trust_ca add|remove|has CERT.pem\n");
        return 2;
    }
    std::string message;
    switch (tamber::test::root_store(verb, argv[2], message)) {
        case tamber::test::root_store_result::done:
            return 0;
        case tamber::test::root_store_result::absent:
            return 1;
        case tamber::test::root_store_result::failed:
            break;
    }
    std::fprintf(stderr, "trust_ca: %s\n", message.c_str());
    return 1;
}
