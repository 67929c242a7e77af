// The Authorization header value for HTTP Basic authentication, from the
// user info of a URL. No platform header, so this also builds natively.
#pragma once

#include <string>

namespace http {

// "Basic " and the Base64 of "user:password", the bytes as given (the URL
// parser has decoded them from UTF-8 escapes). A server splits at the first
// colon, so a user name holding one cannot be told apart; it is sent as is.
std::string BasicAuthorization(const std::string& user, const std::string& password);

} // namespace http
