#include "settings/options.h"

#include <array>

#include "toolkit/ini_file.h"

namespace mirabex {
namespace {

constexpr std::string_view kChecked = "\xD5\xE6";    // "真"
constexpr std::string_view kUnchecked = "\xBC\xD9";  // "假"
// "请设置图片下载失败处理方式"
constexpr std::string_view kChooseFallPolicy =
    "\xC7\xEB\xC9\xE8\xD6\xC3\xCD\xBC\xC6\xAC\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xB4\xA6\xC0\xED\xB7\xBD\xCA\xBD";
constexpr std::string_view kCannotCreateFolder =
    "\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xCE\xC4\xBC\xFE\xBC\xD0\xA3\xBA";  // "无法创建文件夹："
constexpr std::string_view kCannotWriteFile =
    "\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xA3\xBA";  // "无法写入文件："
// "含有换行，无法保存："
constexpr std::string_view kLineBreakInValue =
    "\xBA\xAC\xD3\xD0\xBB\xBB\xD0\xD0\xA3\xAC\xCE\xDE\xB7\xA8\xB1\xA3\xB4\xE6\xA3\xBA";

struct CheckKey {
  std::string_view section;
  std::string_view key;
  bool Options::*field;
};

struct TextKey {
  std::string_view section;
  std::string_view key;
  Text Options::*field;
};

// The four check boxes, in the order they are saved; a save with no failure choice stops after them.
constexpr std::array<CheckKey, 4> kCheckKeys{{
    {"DL_PIC", "download", &Options::download},
    {"DL_PIC", "taobao_only", &Options::taobaoOnly},
    {"PR_INFO", "p_type", &Options::priceAdjust},
    {"PR_INFO", "n_type", &Options::uniformStock},
}};

// The second replacement's target lives under "to3" and the third's under "to2";
// files already written depend on that pairing, so it stays.
constexpr std::array<TextKey, 9> kTextKeys{{
    {"PR_INFO", "price", &Options::price},
    {"PR_INFO", "price_num", &Options::priceNum},
    {"PR_INFO", "num", &Options::num},
    {"REPLACE", "1", &Options::replaceFrom1},
    {"REPLACE", "2", &Options::replaceFrom2},
    {"REPLACE", "3", &Options::replaceFrom3},
    {"REPLACE", "to1", &Options::replaceTo1},
    {"REPLACE", "to3", &Options::replaceTo2},
    {"REPLACE", "to2", &Options::replaceTo3},
}};

constexpr std::string_view kFallSection = "DL_PIC";
constexpr std::string_view kFallKey = "fall";
constexpr std::string_view kSaveSection = "SAVE";
constexpr std::string_view kSaveKey = "type";

// Collects the first value that cannot be stored, so the caller can say which one.
class KeyWriter {
 public:
  explicit KeyWriter(IniFile& file) : m_file(file) {}
  void set(std::string_view section, std::string_view key, std::string_view value) {
    if (!m_file.setValue(section, key, value) && m_refusedKey.empty()) m_refusedKey = Text(key);
  }
  const Text& refusedKey() const { return m_refusedKey; }

 private:
  IniFile& m_file;
  Text m_refusedKey;
};

OptionsSaveResult finish(const IniFile& file, const Text& path, const KeyWriter& keys, const FileWriter& writer) {
  OptionsSaveResult result;
  if (!file.save(path, writer)) {
    result.reason = Text(kCannotWriteFile) + path;
  } else if (!keys.refusedKey().empty()) {
    result.reason = Text(kLineBreakInValue) + keys.refusedKey();
  } else {
    result.written = true;
  }
  return result;
}

}  // namespace

Text optionsFilePath(const Text& optionsFolder) { return joinPath(optionsFolder, "options.ini"); }

void loadOptions(const Text& optionsFolder, Options& options) {
  // A missing file loads as every key absent.
  const IniFile file = IniFile::load(optionsFilePath(optionsFolder));

  for (const CheckKey& check : kCheckKeys) options.*check.field = file.value(check.section, check.key) == kChecked;
  options.taobaoOnlyEnabled = options.download;

  const Text fall = file.value(kFallSection, kFallKey);
  if (fall.empty() || fall == "3") {
    options.fallChoice = 3;
    options.failurePolicy = 3;
  } else if (fall == "1" || fall == "2") {
    options.fallChoice = fall[0] - '0';
    options.failurePolicy = options.fallChoice;
  }
  // Any other stored text leaves the drop-down and the policy as they were.

  for (const TextKey& text : kTextKeys) options.*text.field = file.value(text.section, text.key);

  options.layout4Checked = file.value(kSaveSection, kSaveKey) == "4";
  options.outputLayout = options.layout4Checked ? 4 : 5;
}

OptionsSaveResult saveOptions(const Text& optionsFolder, Options& options, const FileWriter& writer) {
  const Text path = optionsFilePath(optionsFolder);
  if (!writer.createFolder(optionsFolder)) {
    OptionsSaveResult result;
    result.reason = Text(kCannotCreateFolder) + optionsFolder;
    return result;
  }
  IniFile file;
  // Replacing a file we could not read would lose every key we do not write.
  if (!IniFile::tryLoad(path, file)) {
    OptionsSaveResult result;
    result.reason = Text(kCannotWriteFile) + path;
    return result;
  }
  KeyWriter keys(file);

  for (const CheckKey& check : kCheckKeys) {
    keys.set(check.section, check.key, options.*check.field ? kChecked : kUnchecked);
  }

  if (options.fallChoice == 0) {
    // Only the check boxes are stored; the user is asked to choose first.
    OptionsSaveResult result = finish(file, path, keys, writer);
    result.written = false;
    result.stoppedAtEmptyChoice = true;
    if (result.reason.empty()) result.reason = Text(kChooseFallPolicy);
    return result;
  }
  if (options.fallChoice >= 1 && options.fallChoice <= 3) {
    keys.set(kFallSection, kFallKey, std::to_string(options.fallChoice));
    options.failurePolicy = options.fallChoice;
  }

  for (const TextKey& text : kTextKeys) keys.set(text.section, text.key, options.*text.field);

  keys.set(kSaveSection, kSaveKey, options.layout4Checked ? "4" : "5");
  options.outputLayout = options.layout4Checked ? 4 : 5;

  return finish(file, path, keys, writer);
}

}  // namespace mirabex
