#pragma once

// The key-pool document app.xml that the configuration server hands out.

#include <string>

#include "sandbox/catalogue.h"
#include "sandbox/reply.h"

namespace mirabex::sandbox {

// A root element whose children carry appkey and appsecret, one per pair, in pool order.
std::string keyPoolDocument(const Catalogue& catalogue);
Reply keyPoolReply(const Catalogue& catalogue);

}  // namespace mirabex::sandbox
