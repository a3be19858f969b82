#pragma once

// The maker's news and help pages, and the page for an address nobody serves.

#include "sandbox/reply.h"

namespace mirabex::sandbox {

Reply newsPageReply();
Reply helpPageReply();
Reply notFoundReply();

}  // namespace mirabex::sandbox
