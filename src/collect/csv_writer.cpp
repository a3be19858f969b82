#include "collect/csv_writer.h"

#include <filesystem>
#include <system_error>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

// Why a write failed, as far as the file system can tell afterwards; the writer
// itself only says yes or no.
Text failureReason(const Text& path) {
  std::error_code error;
  const std::filesystem::path target = fileSystemPath(path);
  if (std::filesystem::is_directory(target, error)) return utf8ToGbk("保存路径是一个文件夹");
  const std::filesystem::path parent = target.parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) return utf8ToGbk("保存文件夹不存在");
  return utf8ToGbk("无法写入文件（没有权限、磁盘已满或文件被其他程序占用）");
}

}  // namespace

CsvWriteResult writeCsvFile(const Text& path, std::string_view header, std::string_view body,
                            const FileWriter& fileWriter) {
  CsvWriteResult result;
  result.path = path;
  if (path.empty()) {
    result.reason = utf8ToGbk("保存路径为空");
    return result;
  }
  Text content;
  content.reserve(header.size() + body.size());
  content += header;
  content += body;
  result.written = fileWriter.writeWholeFile(path, content);
  if (!result.written) result.reason = failureReason(path);
  return result;
}

}  // namespace mirabex
