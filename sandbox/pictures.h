#pragma once

// Picture bodies: small but real JPEG, PNG, GIF and BMP files. Each carries the
// address it was served for (in a comment, a text chunk or trailing bytes), so
// that two addresses never share bytes and a test can tell which file is which.

#include <string>
#include <string_view>

#include "sandbox/catalogue.h"

namespace mirabex::sandbox {

// The body for a picture of that kind; empty for Empty and Missing.
std::string pictureBytes(PictureKind kind, std::string_view tag);

// The page a picture host sends with its 404.
std::string missingPictureBody();

}  // namespace mirabex::sandbox
