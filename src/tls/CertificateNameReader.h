// The names a certificate was issued for, read from its DER encoding: the
// dNSName and iPAddress entries of the subjectAltName extension and the
// subject's common names. The platform's decoders hand names back as
// zero-terminated strings, so "localhost\0.evil.test" would read as
// "localhost"; read here, every name keeps its encoded length, and a name
// holding a zero byte (or anything else no host name holds) matches nothing
// in HostNameMatch.h. No platform header.
//
//   GeneralNames ::= SEQUENCE OF GeneralName      -- 30 len ...
//     dNSName    [2] IMPLICIT IA5String            -- 82 len bytes
//     iPAddress  [7] IMPLICIT OCTET STRING         -- 87 len 4 or 16 octets
//     (the other choices are passed over)
//   Name ::= SEQUENCE OF SET OF SEQUENCE { type OID, value }
//     commonName 2.5.4.3                           -- 06 03 55 04 03
//
// Lengths in definite form only, of at most four length octets; an element
// that runs past its parent makes the whole encoding unreadable.
#pragma once

#include "HostNameMatch.h"

#include <cstddef>
#include <cstdint>

namespace tls {

// Adds the entries of a subjectAltName extension's value. False, with
// nothing added, when the encoding cannot be read.
bool ReadAltNames(const uint8_t* pDer, size_t cbDer, CertificateNames* pNames);
// Adds the common names of a subject Name. Text in a BMPString or
// UniversalString becomes one byte a character, anything beyond ASCII as a
// byte no host name holds. False, with nothing added, when unreadable.
bool ReadCommonNames(const uint8_t* pDer, size_t cbDer, CertificateNames* pNames);

} // namespace tls
