#include "BasicCredentials.h"

#include "Base64.h"

namespace http {

std::string BasicAuthorization(const std::string& user, const std::string& password)
{
    return "Basic " + base64::Encode(user + ":" + password);
}

} // namespace http
