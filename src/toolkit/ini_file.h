#pragma once

#include <string_view>
#include <vector>

#include "toolkit/file_system.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// A private-profile (INI) file in GBK, read and written with the desktop platform's
// semantics: section and key names compared without letter case, the first of
// duplicate sections or keys wins, an absent key reads as empty text, a write keeps
// every other line, a new key goes to the end of its section and a new section to
// the end of the file, lines end with CR LF.
class IniFile {
 public:
  IniFile() = default;
  // A missing or unreadable file loads as empty.
  static IniFile load(const Text& path);
  // Like load, but false when the file is there and cannot be read, so that a
  // read-modify-write never replaces a file it could not see.
  static bool tryLoad(const Text& path, IniFile& out);
  static IniFile parse(std::string_view content);

  // Blanks around the value are dropped; everything else is returned as stored.
  Text value(std::string_view section, std::string_view key) const;
  bool hasKey(std::string_view section, std::string_view key) const;
  // False, changing nothing, when a name is empty or would break the line structure
  // (a line break anywhere, '=' or a leading ';' or '[' in the key, ']' in the section)
  // or the value holds a line break.
  bool setValue(std::string_view section, std::string_view key, std::string_view value);

  // The file's text, every line ended by CR LF.
  Text content() const;
  // Creates or replaces the file (not its folder).
  bool save(const Text& path, const FileWriter& writer = defaultFileWriter()) const;

 private:
  struct Line {
    Text text;     // without its line end
    Text section;  // for a section header: its name, trimmed
    Text key;      // for a key line: its name, trimmed
    bool isSection = false;
    bool isKey = false;
  };
  static Line classify(Text text);
  // Index of the first header of `section`, or kNotFound.
  std::size_t findSection(std::string_view section) const;
  std::size_t findKey(std::size_t sectionLine, std::string_view key) const;

  std::vector<Line> m_lines;
};

// One key read from or written to the file at `path`, as the platform's profile calls do.
Text readIniValue(const Text& path, std::string_view section, std::string_view key);
bool writeIniValue(const Text& path, std::string_view section, std::string_view key, std::string_view value,
                   const FileWriter& writer = defaultFileWriter());

}  // namespace mirabex
