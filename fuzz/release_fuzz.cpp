// Fuzzes the reader of release statements, which come from the update
// server, and of the record of the accepted release, which lives in the
// store: whatever either accepts must be the one text its writer makes of
// what was read (one encoding for every statement), and the signed part must
// end where the signature lines begin.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/release.h"

using namespace tamber;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    release_statement statement;
    std::string reason;
    if (parse_release_statement(text, statement, reason)) {
        std::string again = format_release_body(statement);
        if (again.size() != statement.signed_length) std::abort();
        for (const release_signature& signature : statement.signatures)
            again += format_signature_line(signature.key, signature.der);
        if (again != text) std::abort();
    } else if (reason.empty()) {
        std::abort();
    }
    accepted_release record;
    reason.clear();
    if (parse_accepted_release(text, record, reason)) {
        if (format_accepted_release(record) != text) std::abort();
    } else if (reason.empty()) {
        std::abort();
    }
    return 0;
}
