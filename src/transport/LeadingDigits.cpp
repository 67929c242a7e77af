#include "LeadingDigits.h"

uint64_t LeadingDigits(const char* p, uint64_t max, const char** ppEnd)
{
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
    {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        // value * 10 + digit > max, asked without overflowing.
        value = value > (max - digit) / 10 ? max : value * 10 + digit;
    }
    if (ppEnd)
        *ppEnd = p;
    return value;
}
