#pragma once

#include "toolkit/file_system.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// The collection settings as the settings page shows them, mirrored in options.ini.
// Plain data shared by the GUI and the command line.
struct Options {
  bool download = false;           // "下载描述图片"
  bool taobaoOnly = false;         // "只下载淘宝空间图片"
  bool taobaoOnlyEnabled = false;  // follows `download` at load only
  bool priceAdjust = false;        // p_type, "价格调整"
  bool uniformStock = false;       // n_type, "库存统一为"
  // Current item of the failure drop-down: 0 none, 1 "保持不变", 2 "删除图片", 3 "重新下载 仍失败删除".
  int fallChoice = 3;
  Text price = "100";   // percentage, "编辑框4"
  Text priceNum = "0";  // decimal places, "编辑框6"
  Text num = "100";     // stock figure, "编辑框5"
  Text replaceFrom1, replaceFrom2, replaceFrom3;
  Text replaceTo1, replaceTo2, replaceTo3;
  bool layout4Checked = false;  // "单选框1" checked (else "单选框2")

  // Kept beside the controls; change only on load and save.
  int failurePolicy = 0;  // 1 keep, 2 delete, 3 retry then delete; 0 before the first load
  int outputLayout = 5;   // 4 or 5
};

struct OptionsSaveResult {
  bool written = false;               // every key reached the file
  bool stoppedAtEmptyChoice = false;  // "请设置图片下载失败处理方式": only the first four keys were written
  Text reason;                        // why it was not written, for the message to the user
};

// optionsFolder is the run directory's options folder (GBK text, no trailing separator).
Text optionsFilePath(const Text& optionsFolder);
void loadOptions(const Text& optionsFolder, Options& options);
// Creates the folder when it is missing; the writer lets tests make the writes fail.
OptionsSaveResult saveOptions(const Text& optionsFolder, Options& options,
                              const FileWriter& writer = defaultFileWriter());

}  // namespace mirabex
