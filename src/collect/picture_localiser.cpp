#include "collect/picture_localiser.h"

#include <string>

#include "collect/picture_store.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/http_client.h"
#include "toolkit/pattern_matcher.h"
#include "toolkit/text_helpers.h"
#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

constexpr std::string_view kImgTagPattern = R"re(<IMG .*?"http://(.*?)".*?>)re";
// The doubled quotes are what the description clean-up made of "&quot;".
constexpr std::string_view kBackgroundPattern = R"re(background=""http://(.*?)"")re";
// The matcher reads \uXXXX itself: one CJK unified ideograph.
constexpr std::string_view kChinesePattern = R"re(([\u4e00-\u9fa5]))re";

constexpr std::string_view kScheme = "http://";

enum class Pass { ImgTags, Backgrounds };

std::string number(int value) { return std::to_string(value); }

struct DescriptionTexts {
  Text thread = utf8ToGbk(" 线程：");
  Text downloading = utf8ToGbk("  正在下载第:");
  Text picture = utf8ToGbk(" 个宝贝 描述图片 ");
  Text skipped = utf8ToGbk("  非淘宝空间图片 已跳过");
  Text ordinal = utf8ToGbk("  第:");
  Text deleted = utf8ToGbk(" 个宝贝 描述图片 字节集为0 已经删除 ");
  Text retrying = utf8ToGbk(" 个宝贝 描述图片 字节集为0 正在重新下载 ");
  Text retryFailed = utf8ToGbk(" 个宝贝 描述图片 字节集为0 重新下载失败===已经删除图片 ");
};

const DescriptionTexts& descriptionTexts() {
  static const DescriptionTexts texts;
  return texts;
}

struct GalleryTexts {
  Text start = utf8ToGbk("  开始下载 第：");
  Text each = utf8ToGbk("  正在下载 第：");
  Text end = utf8ToGbk("  下载完毕 第：");
  Text mainItem = utf8ToGbk("  个宝贝   宝贝主图数据！");
  Text mainPicture = utf8ToGbk("  张 宝贝主图数据... ");
  Text propertyItem = utf8ToGbk("  个宝贝   销售属性图片数据！");
  Text propertyPicture = utf8ToGbk("  张 销售属性图片数据... ");
};

const GalleryTexts& galleryTexts() {
  static const GalleryTexts texts;
  return texts;
}

// One download behind the pause gate; false when the run was stopped before or during it
// (a cancelled transfer's empty bytes must not pass for a picture that failed).
bool download(const PictureStepContext& context, const Text& url, Bytes& bytes) {
  if (!context.checkpoint()) return false;
  bytes = context.http.downloadFile(url, context.stop);
  return !context.stop.stop_requested();
}

// Log lines pass the pause gate too; false once the run is stopped.
bool logLine(const PictureStepContext& context, const Text& message) {
  context.log(message);
  return !context.stop.stop_requested();
}

bool writePicture(const PictureStepContext& context, const Text& path, std::string_view bytes) {
  if (!context.checkpoint()) return false;
  context.store.writeFile(path, bytes);  // a picture that cannot be stored is not reported
  return true;
}

Text withoutAmp(std::string_view address) { return Text(kScheme) + replaceAllText(address, "amp;", ""); }

class DescriptionPass {
 public:
  DescriptionPass(Pass pass, PatternMatcher& chinese, ItemRecord& record, const ItemProgress& progress,
                  const Options& settings, const PictureStepContext& context)
      : m_pass(pass),
        m_chinese(chinese),
        m_record(record),
        m_progress(progress),
        m_settings(settings),
        m_context(context) {}

  bool run(PatternMatcher& pages) {
    pages.compile(m_pass == Pass::ImgTags ? kImgTagPattern : kBackgroundPattern);
    m_count = pages.execute(m_record.desc);
    if (m_count <= 0) return true;
    m_folder = m_context.store.descriptionFolder(PictureStore::titleFolderName(m_record.title));
    if (!m_context.checkpoint()) return false;
    m_context.store.createFolder(m_folder);
    for (int i = 1; i <= m_count; ++i) {
      const bool carryOn =
          m_settings.taobaoOnly ? pictureSpaceOnly(i, pages.subMatch(i, 1)) : anyHost(i, pages.subMatch(i, 1));
      if (!carryOn) return false;
    }
    return true;
  }

 private:
  Text downloadLine(int i) const {
    const DescriptionTexts& t = descriptionTexts();
    return t.thread + number(m_progress.workerNumber) + t.downloading + number(m_progress.row) + "/" +
           number(m_progress.totalRows) + t.picture + number(i) + "/" + number(m_count);
  }

  Text emptyBytesLine(const Text& what, int i) const {
    const DescriptionTexts& t = descriptionTexts();
    return t.thread + number(m_progress.workerNumber) + t.ordinal + number(m_progress.row) + "/" +
           number(m_progress.totalRows) + what + number(i) + "/" + number(m_count);
  }

  Text localPath(const Text& address, const Bytes& firstBytes) const {
    return joinPath(m_folder, Md5Text(address, true) + "." + ImageTypeOf(firstBytes));
  }

  void pointAtLocalCopy(const Text& address, const Text& path) {
    m_record.desc =
        replaceAllText(m_record.desc, Text(kScheme) + address, PictureStore::fileUrl(path), LetterCase::Ignore);
  }

  void removeAddress(const Text& address) {
    m_record.desc = replaceAllText(m_record.desc, Text(kScheme) + address, "", LetterCase::Ignore);
  }

  // "只下载淘宝空间图片": other hosts are skipped, and what the picture space sends is
  // stored as it comes, empty or not.
  bool pictureSpaceOnly(int i, const Text& address) {
    if (!containsText(address, "taobao")) {
      return logLine(m_context, downloadLine(i) + descriptionTexts().skipped);
    }
    if (!logLine(m_context, downloadLine(i))) return false;
    const Text url = withoutAmp(address);
    Bytes bytes;
    if (!download(m_context, url, bytes)) return false;
    const Text path = localPath(address, bytes);
    pointAtLocalCopy(address, path);
    if (!download(m_context, url, bytes)) return false;
    return writePicture(m_context, path, bytes);
  }

  bool anyHost(int i, const Text& address) {
    if (!logLine(m_context, downloadLine(i))) return false;
    Bytes bytes;
    if (!download(m_context, withoutAmp(address), bytes)) return false;
    const Text path = localPath(address, bytes);
    const Text escaped = escapeChineseCharacters(m_chinese, address);
    // Only an address without Chinese characters loses its "amp;" here.
    const Text secondUrl = escaped == address ? withoutAmp(address) : Text(kScheme) + escaped;
    if (!download(m_context, secondUrl, bytes)) return false;
    if (!bytes.empty()) {
      pointAtLocalCopy(address, path);
      return writePicture(m_context, path, bytes);
    }
    switch (m_settings.failurePolicy) {
      case 2:
        removeAddress(address);
        return logLine(m_context, emptyBytesLine(descriptionTexts().deleted, i));
      case 3:
        if (!logLine(m_context, emptyBytesLine(descriptionTexts().retrying, i))) return false;
        if (!download(m_context, secondUrl, bytes)) return false;
        if (!bytes.empty()) {
          pointAtLocalCopy(address, path);
          return writePicture(m_context, path, bytes);
        }
        removeAddress(address);
        if (m_pass == Pass::Backgrounds)
          return logLine(m_context, emptyBytesLine(descriptionTexts().retryFailed, i));
        return true;
      default:  // keep the remote address, write nothing
        return true;
    }
  }

  const Pass m_pass;
  PatternMatcher& m_chinese;
  ItemRecord& m_record;
  const ItemProgress& m_progress;
  const Options& m_settings;
  const PictureStepContext& m_context;
  int m_count = 0;
  Text m_folder;
};

struct GalleryKind {
  std::string_view listPath;
  std::string_view entryPath;  // the child holding what the entry lists
  const Text& itemText;
  const Text& pictureText;
};

bool downloadGallery(const XmlDocument& response, ItemRecord& record, const ItemProgress& progress,
                     const PictureStepContext& context, const GalleryKind& kind,
                     const std::function<Text(int p, const Text& name, const Text& entryValue)>& entry) {
  const GalleryTexts& t = galleryTexts();
  const Text rowPart = number(progress.row) + "/" + number(progress.totalRows);
  if (!logLine(context, t.start + rowPart + kind.itemText)) return false;
  const int count = response.countChildren(kind.listPath);
  for (int p = 1; p <= count; ++p) {
    if (!logLine(context, t.each + number(p) + "/" + number(count) + kind.pictureText)) return false;
    const Text name = context.store.nextPictureName(record.title, record.num_iid);
    const Text child = Text(kind.listPath) + "/@" + number(p) + "/";
    const Text entryValue = kind.entryPath.empty() ? Text() : response.text(child + Text(kind.entryPath));
    record.picture += entry(p, name, entryValue);
    Bytes bytes;
    if (!download(context, response.text(child + "url"), bytes)) return false;
    if (!writePicture(context, joinPath(context.store.outputFolder(), name + ".tbi"), bytes)) return false;
  }
  return logLine(context, t.end + rowPart + kind.itemText);
}

}  // namespace

Text escapeChineseCharacters(PatternMatcher& chinese, std::string_view address) {
  chinese.compile(kChinesePattern);
  Text escaped(address);
  const int count = chinese.execute(address);
  for (int j = 1; j <= count; ++j) {
    const Text character = chinese.subMatch(j, 1);
    escaped = replaceAllText(escaped, character, UrlEncodeAll(character));
  }
  return escaped;
}

bool localiseDescriptionPictures(PatternMatcher& pages, PatternMatcher& chinese, ItemRecord& record,
                                 const ItemProgress& progress, const Options& settings,
                                 const PictureStepContext& context) {
  if (!settings.download) return true;
  if (!DescriptionPass(Pass::ImgTags, chinese, record, progress, settings, context).run(pages)) return false;
  return DescriptionPass(Pass::Backgrounds, chinese, record, progress, settings, context).run(pages);
}

bool downloadMainPictures(const XmlDocument& response, ItemRecord& record, const ItemProgress& progress,
                          const Options& settings, const PictureStepContext& context) {
  record.picture.clear();
  const Text kind = settings.outputLayout == 4 ? ":0:" : ":1:";
  const GalleryTexts& t = galleryTexts();
  return downloadGallery(
      response, record, progress, context, {"item_get_response/item/item_imgs", "", t.mainItem, t.mainPicture},
      [&](int p, const Text& name, const Text&) { return name + kind + number(p - 1) + ":|;"; });
}

bool downloadPropertyPictures(const XmlDocument& response, ItemRecord& record, const ItemProgress& progress,
                              const Options& settings, const PictureStepContext& context) {
  // The property entries follow the radio button as it stands, the main ones the saved layout.
  const Text kind = settings.layout4Checked ? ":1:0:" : ":2:0:";
  const GalleryTexts& t = galleryTexts();
  return downloadGallery(
      response, record, progress, context,
      {"item_get_response/item/prop_imgs", "properties", t.propertyItem, t.propertyPicture},
      [&](int, const Text& name, const Text& properties) { return name + kind + properties + "|;"; });
}

}  // namespace mirabex
