#pragma once

#include "service/Store.h"

#include <string>
#include <string_view>

namespace service {

// What goes back for one request. An empty body goes out without Content-Type.
struct Reply
{
    unsigned status = 200;
    std::string body;
};

// Turns a request target into a reply: the seven paths of the service, their
// query parameters, the credential check and the filters. Knows nothing of sockets.
class RequestHandler
{
public:
    explicit RequestHandler(VerifiedCredentials &verified);

    // Never throws: a failure of the store becomes status 500, an unreachable database 503.
    Reply handle(Store &store, std::string_view target) const;

private:
    VerifiedCredentials &m_verified;
};

} // namespace service
