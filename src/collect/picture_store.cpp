#include "collect/picture_store.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "toolkit/text_helpers.h"

namespace mirabex {

PictureStore::PictureStore(Text outputFolder, const FileWriter& files, const Clock& clock)
    : m_outputFolder(std::move(outputFolder)), m_files(files), m_clock(clock) {}

Text PictureStore::nextPictureName(const Text& title, const Text& numIid) {
  const Text hashed = UnixTimeText(false, m_clock) + title + numIid;
  Text name = Md5Text(hashed);
  std::lock_guard lock(m_namesMutex);
  for (int counter = 1; !m_issuedNames.insert(name).second; ++counter) {
    name = Md5Text(hashed + "#" + std::to_string(counter));
  }
  return name;
}

Text PictureStore::titleFolderName(const Text& title) {
  Text name = replaceAllText(title, "/", "");
  name = replaceAllText(name, "\\", "");
  return replaceAllText(name, ".", "");
}

Text PictureStore::descriptionFolder(const Text& titleFolder) const {
  return joinPath(m_outputFolder, titleFolder);
}

bool PictureStore::createFolder(const Text& path) const { return m_files.createFolder(path); }

bool PictureStore::writeFile(const Text& path, std::string_view bytes) const {
  // A private name per write: the rename then swaps whole files, so the last writer
  // wins with its complete bytes and nobody ever reads a mixture.
  static std::atomic<unsigned long long> sequence{0};
  const Text privatePath = path + ".part" + std::to_string(++sequence);
  if (!m_files.writeWholeFile(privatePath, bytes)) return false;
  std::error_code error;
  std::filesystem::rename(fileSystemPath(privatePath), fileSystemPath(path), error);
  if (error) {
    std::filesystem::remove(fileSystemPath(privatePath), error);
    return false;
  }
  return true;
}

Text PictureStore::fileUrl(const Text& absolutePath) {
  if (!absolutePath.empty() && absolutePath.front() == '/') return "file://" + absolutePath;
  // A drive path: the URL form wants forward slashes after the third one.
  Text path = absolutePath;
  for (std::size_t at = 0; at < path.size(); at += gbkCharLength(path, at)) {
    if (path[at] == '\\') path[at] = '/';
  }
  return "file:///" + path;
}

}  // namespace mirabex
