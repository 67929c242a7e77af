#include "CertificateNameReader.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tls {

namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kSet = 0x31;
constexpr uint8_t kObjectIdentifier = 0x06;
constexpr uint8_t kDnsNameTag = 0x82;
constexpr uint8_t kIpAddressTag = 0x87;
constexpr uint8_t kUtf8String = 0x0c;
constexpr uint8_t kPrintableString = 0x13;
constexpr uint8_t kT61String = 0x14;
constexpr uint8_t kIa5String = 0x16;
constexpr uint8_t kUniversalString = 0x1c;
constexpr uint8_t kBmpString = 0x1e;
const uint8_t kCommonNameOid[] = {0x55, 0x04, 0x03};
// Stands for a character that no host name holds.
constexpr char kNoHostCharacter = '\x80';

struct Element
{
    uint8_t tag = 0;
    const uint8_t* pValue = nullptr;
    size_t cbValue = 0;
};

// Reads the element at *pp, which must end by pEnd, and moves past it.
bool ReadElement(const uint8_t** pp, const uint8_t* pEnd, Element* pElement)
{
    const uint8_t* p = *pp;
    if (pEnd - p < 2)
        return false;
    pElement->tag = *p++;
    // High tag numbers are no part of what is read here.
    if ((pElement->tag & 0x1f) == 0x1f)
        return false;
    size_t cb = *p++;
    if (cb & 0x80)
    {
        const size_t cbLength = cb & 0x7f;
        if (cbLength == 0 || cbLength > 4 || static_cast<size_t>(pEnd - p) < cbLength)
            return false;
        cb = 0;
        for (size_t i = 0; i < cbLength; ++i)
            cb = cb << 8 | *p++;
    }
    if (static_cast<size_t>(pEnd - p) < cb)
        return false;
    pElement->pValue = p;
    pElement->cbValue = cb;
    *pp = p + cb;
    return true;
}

// The elements inside a constructed value, all of which must be readable
// and fill it exactly.
bool ReadChildren(const Element& parent, std::vector<Element>* pChildren)
{
    const uint8_t* p = parent.pValue;
    const uint8_t* const pEnd = p + parent.cbValue;
    while (p < pEnd)
    {
        Element child;
        if (!ReadElement(&p, pEnd, &child))
            return false;
        pChildren->push_back(child);
    }
    return true;
}

// The one element that is the whole encoding.
bool ReadOuter(const uint8_t* pDer, size_t cbDer, uint8_t tag, Element* pElement)
{
    const uint8_t* p = pDer;
    return pDer && ReadElement(&p, pDer + cbDer, pElement) && p == pDer + cbDer && pElement->tag == tag;
}

std::string Bytes(const Element& element)
{
    return std::string(reinterpret_cast<const char*>(element.pValue), element.cbValue);
}

// Characters of cbUnit big-endian octets each, as one byte a character.
bool WideText(const Element& element, size_t cbUnit, std::string* pText)
{
    if (element.cbValue % cbUnit != 0)
        return false;
    for (size_t i = 0; i < element.cbValue; i += cbUnit)
    {
        uint32_t c = 0;
        for (size_t j = 0; j < cbUnit; ++j)
            c = c << 8 | element.pValue[i + j];
        *pText += c < 0x80 ? static_cast<char>(c) : kNoHostCharacter;
    }
    return true;
}

bool DirectoryText(const Element& value, std::string* pText)
{
    switch (value.tag)
    {
    case kUtf8String:
    case kPrintableString:
    case kT61String:
    case kIa5String:
        *pText = Bytes(value);
        return true;
    case kBmpString:
        return WideText(value, 2, pText);
    case kUniversalString:
        return WideText(value, 4, pText);
    default:
        return false;
    }
}

bool IsCommonName(const Element& type)
{
    return type.tag == kObjectIdentifier && type.cbValue == sizeof(kCommonNameOid) &&
           std::equal(kCommonNameOid, kCommonNameOid + sizeof(kCommonNameOid), type.pValue);
}

} // namespace

bool ReadAltNames(const uint8_t* pDer, size_t cbDer, CertificateNames* pNames)
{
    Element names;
    std::vector<Element> entries;
    if (!ReadOuter(pDer, cbDer, kSequence, &names) || !ReadChildren(names, &entries))
        return false;
    for (const Element& entry : entries)
    {
        if (entry.tag == kDnsNameTag)
            pNames->dnsNames.push_back(Bytes(entry));
        else if (entry.tag == kIpAddressTag)
            pNames->ipAddresses.push_back(Bytes(entry));
    }
    return true;
}

bool ReadCommonNames(const uint8_t* pDer, size_t cbDer, CertificateNames* pNames)
{
    Element name;
    std::vector<Element> sets;
    if (!ReadOuter(pDer, cbDer, kSequence, &name) || !ReadChildren(name, &sets))
        return false;
    std::vector<std::string> found;
    for (const Element& set : sets)
    {
        std::vector<Element> attributes;
        if (set.tag != kSet || !ReadChildren(set, &attributes))
            return false;
        for (const Element& attribute : attributes)
        {
            std::vector<Element> parts;
            if (attribute.tag != kSequence || !ReadChildren(attribute, &parts) || parts.size() != 2)
                return false;
            if (!IsCommonName(parts[0]))
                continue;
            std::string text;
            found.push_back(DirectoryText(parts[1], &text) ? text : std::string(1, kNoHostCharacter));
        }
    }
    pNames->commonNames.insert(pNames->commonNames.end(), found.begin(), found.end());
    return true;
}

} // namespace tls
