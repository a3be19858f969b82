#pragma once

#include <string_view>

#include "toolkit/file_system.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

struct CsvWriteResult {
  bool written = false;
  Text path;    // the path that was tried (GBK)
  Text reason;  // GBK text for the user when not written; empty on success
};

// Writes header + body to `path`, creating the file or replacing its content. The
// caller keeps its body either way, so a failed write can be tried again elsewhere.
CsvWriteResult writeCsvFile(const Text& path, std::string_view header, std::string_view body,
                            const FileWriter& fileWriter = defaultFileWriter());

}  // namespace mirabex
