#include "toolkit/file_system.h"

#include <cstdio>
#include <system_error>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

class RealFileWriter : public FileWriter {
 public:
  bool writeWholeFile(const Text& path, std::string_view bytes) const override {
    std::FILE* file = std::fopen(fileSystemPath(path).c_str(), "wb");
    if (file == nullptr) return false;
    const bool allWritten = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // A full disk often shows only at flush or close, so both count.
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return allWritten && flushed && closed;
  }

  bool createFolder(const Text& path) const override {
    if (path.empty()) return false;
    std::error_code error;
    const std::filesystem::path folder = fileSystemPath(path);
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
  }
};

class FailingFileWriter : public FileWriter {
 public:
  bool writeWholeFile(const Text&, std::string_view) const override { return false; }
  bool createFolder(const Text&) const override { return false; }
};

}  // namespace

std::filesystem::path fileSystemPath(const Text& gbkPath) { return std::filesystem::path(gbkToUtf8(gbkPath)); }

Text joinPath(const Text& folder, const Text& name) {
  if (folder.empty()) return name;
  // '/' is below every GBK trail byte, so testing the last byte cannot split a character.
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool fileExists(const Text& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(fileSystemPath(path), error);
}

bool readWholeFile(const Text& path, Bytes& out) {
  out.clear();
  std::FILE* file = std::fopen(fileSystemPath(path).c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[64 * 1024];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) out.clear();
  return !failed;
}

const FileWriter& defaultFileWriter() {
  static const RealFileWriter writer;
  return writer;
}

const FileWriter& failingFileWriter() {
  static const FailingFileWriter writer;
  return writer;
}

bool writeWholeFile(const Text& path, std::string_view bytes) {
  return defaultFileWriter().writeWholeFile(path, bytes);
}

bool createFolder(const Text& path) { return defaultFileWriter().createFolder(path); }

}  // namespace mirabex
