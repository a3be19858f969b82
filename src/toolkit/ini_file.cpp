#include "toolkit/ini_file.h"

#include <utility>

namespace mirabex {
namespace {

// Spaces and tabs only; both lie below every GBK trail byte, so cutting them at
// either end cannot split a character.
std::string_view trimBlanks(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
  std::size_t last = text.size();
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  return text.substr(first, last - first);
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && toLowerAscii(a) == toLowerAscii(b);
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

IniFile::Line IniFile::classify(Text text) {
  Line line;
  const std::string_view body = trimBlanks(text);
  if (!body.empty() && body.front() == '[') {
    // ']' can be the trail byte of a double-byte character, so search whole characters.
    const std::size_t close = findText(body, "]", 1);
    if (close != kNotFound) {
      line.isSection = true;
      line.section = Text(trimBlanks(body.substr(1, close - 1)));
    }
  } else if (!body.empty() && body.front() != ';') {
    const std::size_t equals = body.find('=');
    if (equals != std::string_view::npos) {
      line.isKey = true;
      line.key = Text(trimBlanks(body.substr(0, equals)));
    }
  }
  line.text = std::move(text);
  return line;
}

IniFile IniFile::parse(std::string_view content) {
  IniFile file;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view raw = content.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    file.m_lines.push_back(classify(Text(raw)));
    start = end + 1;
  }
  return file;
}

bool IniFile::tryLoad(const Text& path, IniFile& out) {
  Bytes content;
  if (!readWholeFile(path, content)) {
    out = IniFile();
    return !fileExists(path);
  }
  out = parse(content);
  return true;
}

IniFile IniFile::load(const Text& path) {
  IniFile file;
  tryLoad(path, file);
  return file;
}

std::size_t IniFile::findSection(std::string_view section) const {
  const std::string_view name = trimBlanks(section);
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    if (m_lines[i].isSection && sameName(m_lines[i].section, name)) return i;
  }
  return kNotFound;
}

std::size_t IniFile::findKey(std::size_t sectionLine, std::string_view key) const {
  const std::string_view name = trimBlanks(key);
  for (std::size_t i = sectionLine + 1; i < m_lines.size() && !m_lines[i].isSection; ++i) {
    if (m_lines[i].isKey && sameName(m_lines[i].key, name)) return i;
  }
  return kNotFound;
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
  const std::size_t sectionLine = findSection(section);
  return sectionLine != kNotFound && findKey(sectionLine, key) != kNotFound;
}

Text IniFile::value(std::string_view section, std::string_view key) const {
  const std::size_t sectionLine = findSection(section);
  if (sectionLine == kNotFound) return Text();
  const std::size_t keyLine = findKey(sectionLine, key);
  if (keyLine == kNotFound) return Text();
  const Text& text = m_lines[keyLine].text;
  return Text(trimBlanks(std::string_view(text).substr(text.find('=') + 1)));
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view sectionName = trimBlanks(section);
  const std::string_view keyName = trimBlanks(key);
  // A line break, or a name that reads back as something else, would let a value
  // plant or hide other keys.
  if (sectionName.empty() || keyName.empty() || hasLineBreak(sectionName) || hasLineBreak(keyName) ||
      hasLineBreak(value) || containsText(sectionName, "]") || keyName.find('=') != std::string_view::npos ||
      keyName.front() == ';' || keyName.front() == '[') {
    return false;
  }
  Text keyLineText = Text(keyName) + "=" + Text(value);

  const std::size_t sectionLine = findSection(sectionName);
  if (sectionLine == kNotFound) {
    m_lines.push_back(classify("[" + Text(sectionName) + "]"));
    m_lines.push_back(classify(std::move(keyLineText)));
    return true;
  }
  const std::size_t keyLine = findKey(sectionLine, keyName);
  if (keyLine != kNotFound) {
    m_lines[keyLine] = classify(std::move(keyLineText));
    return true;
  }
  // After the section's last non-blank line, so that blank lines separating it
  // from the next section stay where they are.
  std::size_t insertAt = sectionLine + 1;
  for (std::size_t i = sectionLine + 1; i < m_lines.size() && !m_lines[i].isSection; ++i) {
    if (!trimBlanks(m_lines[i].text).empty()) insertAt = i + 1;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), classify(std::move(keyLineText)));
  return true;
}

Text IniFile::content() const {
  Text out;
  for (const Line& line : m_lines) {
    out += line.text;
    out += "\r\n";
  }
  return out;
}

bool IniFile::save(const Text& path, const FileWriter& writer) const {
  return writer.writeWholeFile(path, content());
}

Text readIniValue(const Text& path, std::string_view section, std::string_view key) {
  return IniFile::load(path).value(section, key);
}

bool writeIniValue(const Text& path, std::string_view section, std::string_view key, std::string_view value,
                   const FileWriter& writer) {
  IniFile file;
  if (!IniFile::tryLoad(path, file)) return false;
  return file.setValue(section, key, value) && file.save(path, writer);
}

}  // namespace mirabex
