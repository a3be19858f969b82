#pragma once

#include <filesystem>
#include <string_view>

#include "toolkit/gbk_text.h"

namespace mirabex {

// Paths inside the engine are GBK text; this is the one place where they meet the
// file system, whose names are UTF-8 here.
std::filesystem::path fileSystemPath(const Text& gbkPath);

// `folder` + "/" + `name`; no doubled separator when `folder` already ends with one,
// and `name` alone when `folder` is empty.
Text joinPath(const Text& folder, const Text& name);

bool fileExists(const Text& path);
// Reads the whole file; false (and `out` emptied) when it cannot be opened or read.
bool readWholeFile(const Text& path, Bytes& out);

// Everything that changes the file system goes through a writer, so that tests can
// make writes fail where the engine has to report them.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // Creates or replaces the file; the folder must exist. True only when every byte was written.
  virtual bool writeWholeFile(const Text& path, std::string_view bytes) const = 0;
  // Creates the folder and any missing parents; true when it exists afterwards.
  virtual bool createFolder(const Text& path) const = 0;
};

// The real file system; one process-wide instance.
const FileWriter& defaultFileWriter();
// Fails every write and every folder creation, touching nothing.
const FileWriter& failingFileWriter();

// Shorthands for defaultFileWriter().
bool writeWholeFile(const Text& path, std::string_view bytes);
bool createFolder(const Text& path);

}  // namespace mirabex
