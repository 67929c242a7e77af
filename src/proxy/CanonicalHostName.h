// The name the resolver gives as a host's own: the canonical name of a host
// name (AI_CANONNAME), the name of an address literal (reverse lookup).
// Kerberos service names are made from it where the name as configured has
// none: an alias, or a proxy given by its address.
#pragma once

#include <string>

// Empty when the resolver knows none.
std::string CanonicalHostName(const std::string& host);
