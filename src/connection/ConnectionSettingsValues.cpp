#include "ConnectionSettingsValues.h"

namespace settings {

uint16_t SocksPortFromDword(uint32_t value)
{
    return value > kMaxSocksPort ? kDefaultSocksPort : static_cast<uint16_t>(value & 0xFFFF);
}

int16_t SocksVersionFromDword(uint32_t value)
{
    return static_cast<int16_t>(value & 0xFFFF);
}

int16_t SocksAuthMethodFromDword(uint32_t value)
{
    return value != 0 ? kSocksAuthUserPassword : 0;
}

} // namespace settings
