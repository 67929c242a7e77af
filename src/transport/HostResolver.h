// Every address of a host: a literal as it is, a name through the system's
// resolver (getaddrinfo, both families, in the system's order).
#pragma once

#include "NetAddress.h"

#include <vector>

// 0 with at least one address; 11001 when the name cannot be resolved,
// 11004 when it has no address of either family.
long ResolveHost(const char* pszHost, uint16_t port, std::vector<NetAddress>* pAddresses);
