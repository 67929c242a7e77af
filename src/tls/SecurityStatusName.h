// The symbolic names of the statuses that SSPI, Schannel and the chain
// policy report, for the trace: "SEC_E_UNTRUSTED_ROOT" says what
// "0x80090325" hides. No platform header, so this also builds natively.
#pragma once

#include <cstdint>
#include <string>

namespace tls {

// The name as the platform's headers spell it (SEC_E_*, SEC_I_*, and the
// CERT_E_*, CRYPT_E_* and TRUST_E_* statuses of certificate checks); any
// other status as "0x" and eight hex digits.
std::string SecurityStatusName(uint32_t status);

} // namespace tls
