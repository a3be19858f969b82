#pragma once

#include <functional>
#include <stop_token>
#include <string_view>

#include "collect/item_record.h"
#include "settings/options.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

class HttpClient;
class PatternMatcher;
class PictureStore;
class XmlDocument;

// What the picture steps use of the worker that runs them.
struct PictureStepContext {
  const HttpClient& http;
  PictureStore& store;
  std::stop_token stop;  // Stop of the run: aborts a download in flight
  // Called before every download and file write; waits while the run is paused and
  // gives false once it is stopped.
  std::function<bool()> checkpoint;
  ItemLogMessage log;  // one message, without the time
};

// Each step returns false when the run was stopped part-way: the row is then abandoned
// and nothing more is written for it.

// Downloads the description's pictures (when "下载描述图片" is ticked) in its two passes,
// <IMG ... "http://..."> then background=""http://..."", and points the description at the
// local copies. `pages` runs the two passes; `chinese` finds the characters to escape.
bool localiseDescriptionPictures(PatternMatcher& pages, PatternMatcher& chinese, ItemRecord& record,
                                 const ItemProgress& progress, const Options& settings,
                                 const PictureStepContext& context);

// Resets `picture`, downloads every main picture into outputFolder as <name>.tbi and lists it.
bool downloadMainPictures(const XmlDocument& response, ItemRecord& record, const ItemProgress& progress,
                          const Options& settings, const PictureStepContext& context);

// The same for the sales-property pictures, appending to `picture`.
bool downloadPropertyPictures(const XmlDocument& response, ItemRecord& record, const ItemProgress& progress,
                              const Options& settings, const PictureStepContext& context);

// The address with every Chinese character (U+4E00..U+9FA5) percent-encoded as its GBK bytes.
Text escapeChineseCharacters(PatternMatcher& chinese, std::string_view address);

}  // namespace mirabex
