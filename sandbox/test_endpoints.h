#pragma once

// Endpoints under /test/ on any host, for the HTTP client's own tests.

#include "sandbox/reply.h"

namespace mirabex::sandbox {

// /test/echo, /test/status/<N>, /test/set-cookie, /test/big-headers, /test/cookie-echo,
// /test/post-echo, /test/redirect?to=<path>, /test/bytes?n=<N>; anything else under /test/ is a 404.
Reply testEndpointReply(const Incoming& request);

}  // namespace mirabex::sandbox
