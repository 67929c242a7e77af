// What the connection settings make of the numbers in their registry key
// (RegistryValues.h reads the data). No platform header, so the rules also
// build natively for fast tests.
#pragma once

#include <cstdint>

namespace settings {

constexpr uint16_t kDefaultSocksPort = 1080;
// Larger configured ports fall back to the default: the configuration tool
// only ever offered four digits.
constexpr uint32_t kMaxSocksPort = 9999;
constexpr int16_t kSocksAuthUserPassword = 2;

// "SOCKS_Port": above 9999 (unsigned) becomes 1080; the low 16 bits are kept.
uint16_t SocksPortFromDword(uint32_t value);
// "SOCKS_Version": the low 16 bits.
int16_t SocksVersionFromDword(uint32_t value);
// "SOCKSAuthReqd": any non-zero value asks for user name and password.
int16_t SocksAuthMethodFromDword(uint32_t value);

} // namespace settings
