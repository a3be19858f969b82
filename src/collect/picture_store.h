#pragma once

#include <mutex>
#include <string_view>
#include <unordered_set>

#include "toolkit/clock.h"
#include "toolkit/file_system.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// The picture folder of one run ("outputFolder"), shared by the run's workers:
// it hands out the names of main and property pictures, writes picture files and
// makes the local addresses the description points to. All paths are GBK.
class PictureStore {
 public:
  PictureStore(Text outputFolder, const FileWriter& files, const Clock& clock);
  PictureStore(const PictureStore&) = delete;
  PictureStore& operator=(const PictureStore&) = delete;

  const Text& outputFolder() const { return m_outputFolder; }

  // 32 hex digits: the MD5 of the Unix time in milliseconds, the title and the item id.
  // Names are distinct within the store: two pictures named in the same millisecond
  // (or by a clock that stands still) get a counter added to the hashed text instead
  // of overwriting each other.
  Text nextPictureName(const Text& title, const Text& numIid);

  // The title with every "/", "\" and "." removed: the folder of the item's description pictures.
  static Text titleFolderName(const Text& title);
  // outputFolder + "/" + titleFolder
  Text descriptionFolder(const Text& titleFolder) const;

  bool createFolder(const Text& path) const;
  // Creates or replaces the whole file in one step (a private file renamed over the
  // target), so that two workers storing the same picture never interleave their bytes.
  bool writeFile(const Text& path, std::string_view bytes) const;

  // A file URL for an absolute path: "file:///home/seller/out/x.jpg", or "file:///D:/out/x.jpg"
  // for a path that starts with a drive letter.
  static Text fileUrl(const Text& absolutePath);

 private:
  Text m_outputFolder;
  const FileWriter& m_files;
  const Clock& m_clock;
  std::mutex m_namesMutex;
  std::unordered_set<Text> m_issuedNames;  // under m_namesMutex
};

}  // namespace mirabex
