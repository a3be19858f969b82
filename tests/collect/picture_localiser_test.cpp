#include "collect/picture_localiser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "collect/picture_store.h"
#include "support/run_fixture.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/http_client.h"
#include "toolkit/pattern_matcher.h"
#include "toolkit/text_helpers.h"
#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

using testing::gbk;
using testing::ScratchFolder;
using testing::sharedSandbox;

const Text kTitle = "T1";

// A description as the record's clean-up leaves it: the quotes of "&quot;" doubled.
Text imgTag(const Text& address) { return "<p><IMG src=\"\"http://" + address + "\"\" /></p>"; }
Text backgroundCell(const Text& address) { return "<td background=\"\"http://" + address + "\"\">x</td>"; }

class PictureLocaliserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::resetSandbox();
    m_store.createFolder(outputFolder());  // as Start does
  }
  void TearDown() override { testing::resetSandbox(); }

  Text outputFolder() const { return joinPath(m_folder.path(), "items"); }
  Text descriptionFolder() const { return joinPath(outputFolder(), kTitle); }
  Text localPath(const Text& address, const Text& type) const {
    return joinPath(descriptionFolder(), Md5Text(address, true) + "." + type);
  }
  Text localUrl(const Text& address, const Text& type) const {
    return PictureStore::fileUrl(localPath(address, type));
  }

  PictureStepContext context() {
    return {m_http, m_store, m_stop.get_token(), [this] { return !m_stop.stop_requested(); },
            [this](const Text& message) { m_lines.push_back(message); }};
  }

  // Runs the description step on `desc` and returns the rewritten description.
  Text localise(const Text& desc, const Options& settings) {
    m_record.title = kTitle;
    m_record.desc = desc;
    EXPECT_TRUE(localiseDescriptionPictures(m_pages, m_chinese, m_record, m_progress, settings, context()));
    return m_record.desc;
  }

  int linesWith(std::string_view utf8) const {
    int count = 0;
    for (const Text& line : m_lines) count += containsText(line, gbk(utf8)) ? 1 : 0;
    return count;
  }

  int pictureRequests(const std::string& targetPrefix) const {
    return sharedSandbox().servedCount("picture", targetPrefix);
  }

  static Options settings(bool taobaoOnly, int policy) {
    Options options = testing::defaultTestOptions();
    options.download = true;
    options.taobaoOnly = taobaoOnly;
    options.failurePolicy = policy;
    return options;
  }

  ScratchFolder m_folder;
  HttpClient m_http{testing::sandboxClientSettings()};
  PictureStore m_store{outputFolder(), defaultFileWriter(), systemClock()};
  std::stop_source m_stop;
  PatternMatcher m_pages;
  PatternMatcher m_chinese;
  ItemRecord m_record;
  const ItemProgress m_progress{2, 3, 7};
  std::vector<Text> m_lines;
};

TEST_F(PictureLocaliserTest, DescriptionPicturesOffLeavesEverythingRemote) {
  Options off = settings(false, 3);
  off.download = false;
  const Text desc = imgTag("img01.taobaocdn.com/imgextra/a.jpg");
  EXPECT_EQ(localise(desc, off), desc);
  EXPECT_FALSE(std::filesystem::exists(fileSystemPath(descriptionFolder())));
  EXPECT_EQ(pictureRequests(""), 0);
  EXPECT_TRUE(m_lines.empty());
}

TEST_F(PictureLocaliserTest, StoredPictureIsTheSecondDownloadAndDescriptionPointsAtARealFileUrl) {
  const Text address = "img01.taobaocdn.com/imgextra/i1/a.jpg";
  const Text desc = localise(imgTag(address), settings(false, 1));
  EXPECT_EQ(desc, "<p><IMG src=\"\"" + localUrl(address, "jpg") + "\"\" /></p>");
  EXPECT_TRUE(startsWithText(localUrl(address, "jpg"), "file:///"));
  EXPECT_FALSE(containsText(desc, "file:////"));
  Bytes stored;
  ASSERT_TRUE(readWholeFile(localPath(address, "jpg"), stored));
  EXPECT_EQ(stored, m_http.downloadFile("http://" + address));
  EXPECT_EQ(pictureRequests("/imgextra/i1/a.jpg"), 3);  // two here, one to compare
  EXPECT_EQ(linesWith(" 线程：2  正在下载第:3/7 个宝贝 描述图片 1/1"), 1);
}

// An empty picture, by switch and failure policy, in either pass.
struct EmptyPictureCase {
  const char* name;
  bool taobaoOnly;
  int policy;
  bool background;                    // pass B instead of pass A
  const char* address;                // every one of them serves an empty body
  const char* expectedAddressInDesc;  // "local", "remote" or "gone"
  bool zeroByteFile;
  std::vector<std::string> lines;  // what each log line ends with, in order
  int downloads;
};

class EmptyPictureTest : public PictureLocaliserTest, public ::testing::WithParamInterface<EmptyPictureCase> {};

TEST_P(EmptyPictureTest, FollowsTheSwitchAndThePolicy) {
  const EmptyPictureCase& c = GetParam();
  const Text address = c.address;
  const Text desc =
      localise(c.background ? backgroundCell(address) : imgTag(address), settings(c.taobaoOnly, c.policy));
  const std::string where = c.expectedAddressInDesc;
  const Text remote = "http://" + address;
  if (where == "remote") {
    EXPECT_TRUE(containsText(desc, remote)) << desc;
  } else if (where == "gone") {
    EXPECT_FALSE(containsText(desc, remote) || containsText(desc, "file:")) << desc;
  } else {
    EXPECT_TRUE(containsText(desc, localUrl(address, ImageTypeOf("")))) << desc;
  }
  EXPECT_EQ(fileExists(localPath(address, ImageTypeOf(""))), c.zeroByteFile);

  ASSERT_EQ(m_lines.size(), c.lines.size());
  for (std::size_t i = 0; i < c.lines.size(); ++i) {
    EXPECT_EQ(m_lines[i], gbk(c.lines[i])) << "line " << i;
  }
  EXPECT_EQ(pictureRequests(""), c.downloads);
}

const char* const kDownload = " 线程：2  正在下载第:3/7 个宝贝 描述图片 1/1";

INSTANTIATE_TEST_SUITE_P(
    Policies, EmptyPictureTest,
    ::testing::Values(
        EmptyPictureCase{
            "KeepAddress", false, 1, false, "img04.taobaocdn.com/empty/e.jpg", "remote", false, {kDownload}, 2},
        EmptyPictureCase{"UnknownPolicyKeepsToo",
                         false,
                         0,
                         false,
                         "img04.taobaocdn.com/empty/e.jpg",
                         "remote",
                         false,
                         {kDownload},
                         2},
        EmptyPictureCase{"Delete",
                         false,
                         2,
                         false,
                         "img04.taobaocdn.com/empty/e.jpg",
                         "gone",
                         false,
                         {kDownload, " 线程：2  第:3/7 个宝贝 描述图片 字节集为0 已经删除 1/1"},
                         2},
        EmptyPictureCase{"RetryThenDeleteSilentlyInImgPass",
                         false,
                         3,
                         false,
                         "img04.taobaocdn.com/empty/e.jpg",
                         "gone",
                         false,
                         {kDownload, " 线程：2  第:3/7 个宝贝 描述图片 字节集为0 正在重新下载 1/1"},
                         3},
        EmptyPictureCase{"RetryThenDeleteWithLineInBackgroundPass",
                         false,
                         3,
                         true,
                         "img04.taobaocdn.com/empty/bg.jpg",
                         "gone",
                         false,
                         {kDownload, " 线程：2  第:3/7 个宝贝 描述图片 字节集为0 正在重新下载 1/1",
                          " 线程：2  第:3/7 个宝贝 描述图片 字节集为0 重新下载失败===已经删除图片 1/1"},
                         3},
        EmptyPictureCase{"PictureSpaceStoresZeroBytes",
                         true,
                         3,
                         false,
                         "img04.taobaocdn.com/empty/e.jpg",
                         "local",
                         true,
                         {kDownload},
                         2},
        EmptyPictureCase{"PictureSpaceSkipsOtherHosts",
                         true,
                         3,
                         false,
                         "img.alicdn.com/empty/e.jpg",
                         "remote",
                         false,
                         {std::string(kDownload) + "  非淘宝空间图片 已跳过"},
                         0}),
    [](const ::testing::TestParamInfo<EmptyPictureCase>& info) { return std::string(info.param.name); });

TEST_F(PictureLocaliserTest, ChineseCharactersAreEscapedForTheSecondDownloadOnly) {
  const Text address = gbk("img02.taobaocdn.com/imgextra/图片/茶具详情.jpg");
  const Text desc = localise(imgTag(address), settings(false, 1));
  // The name comes from the address as the description has it.
  EXPECT_TRUE(containsText(desc, localUrl(address, "jpg"))) << gbkToUtf8(desc);
  ASSERT_TRUE(fileExists(localPath(address, "jpg")));
  // 图片 and 茶具详情 in GBK, byte by byte.
  EXPECT_EQ(pictureRequests("/imgextra/%CD%BC%C6%AC/%B2%E8%BE%DF%CF%EA%C7%E9.jpg"), 1);
}

TEST_F(PictureLocaliserTest, AmpIsDroppedFromAddressesWithoutChineseCharacters) {
  const Text address = "img02.taobaocdn.com/imgextra/q.jpg?w=750&amp;h=1000";
  const Text desc = localise(imgTag(address), settings(false, 1));
  EXPECT_TRUE(containsText(desc, localUrl(address, "jpg")));
  EXPECT_EQ(pictureRequests("/imgextra/q.jpg?w=750&h=1000"), 2);
  EXPECT_EQ(pictureRequests("/imgextra/q.jpg?w=750&amp;"), 0);
}

TEST_F(PictureLocaliserTest, SameAddressTwiceEndsLocalBothTimesAndIsStoredAgain) {
  const Text address = "img01.taobaocdn.com/imgextra/i1/same.jpg";
  const Text desc = localise(imgTag(address) + imgTag(address), settings(false, 3));
  // The first match already rewrote both occurrences; the second downloads and stores the file again.
  EXPECT_EQ(desc, "<p><IMG src=\"\"" + localUrl(address, "jpg") + "\"\" /></p>" + "<p><IMG src=\"\"" +
                      localUrl(address, "jpg") + "\"\" /></p>");
  EXPECT_EQ(pictureRequests("/imgextra/i1/same.jpg"), 4);
  EXPECT_EQ(linesWith("描述图片 2/2"), 1);
}

TEST_F(PictureLocaliserTest, BothPassesRunOneAfterTheOther) {
  const Text img = "img01.taobaocdn.com/imgextra/i1/d1.jpg";
  const Text bg = "img02.taobaocdn.com/imgextra/i2/bg.gif";
  const Text desc =
      localise(imgTag(img) + "<table><tr>" + backgroundCell(bg) + "</tr></table>", settings(false, 3));
  EXPECT_TRUE(containsText(desc, localUrl(img, "jpg")));
  EXPECT_TRUE(containsText(desc, localUrl(bg, "gif")));
  EXPECT_EQ(linesWith("描述图片 1/1"), 2);
}

TEST_F(PictureLocaliserTest, StopAbandonsTheStepAndWritesNothing) {
  m_stop.request_stop();
  m_record.title = kTitle;
  m_record.desc = imgTag("img01.taobaocdn.com/imgextra/i1/a.jpg");
  EXPECT_FALSE(
      localiseDescriptionPictures(m_pages, m_chinese, m_record, m_progress, settings(false, 3), context()));
  EXPECT_EQ(pictureRequests(""), 0);
  EXPECT_FALSE(fileExists(localPath("img01.taobaocdn.com/imgextra/i1/a.jpg", "jpg")));
}

// Main and property pictures of a response with two main pictures (one of them empty)
// and one property picture.
constexpr std::string_view kGalleryResponse =
    "<item_get_response><item><item_imgs list=\"true\">"
    "<item_img><id>0</id><url>http://img01.taobaocdn.com/bao/uploaded/i1/m1.jpg</url></item_img>"
    "<item_img><id>1</id><url>http://img01.taobaocdn.com/empty/m2.png</url></item_img>"
    "</item_imgs><prop_imgs list=\"true\">"
    "<prop_img><properties>1627207:28320</properties><url>http://img03.taobaocdn.com/bao/p1.gif</url></prop_img>"
    "</prop_imgs></item></item_get_response>";

struct GalleryCase {
  int outputLayout;
  bool layout4Checked;
  const char* pattern;  // of the picture field
};

class GalleryTest : public PictureLocaliserTest, public ::testing::WithParamInterface<GalleryCase> {};

TEST_P(GalleryTest, ListsEveryPictureAndStoresItBesideTheCsv) {
  XmlDocument response;
  ASSERT_TRUE(response.load(kGalleryResponse));
  Options options = settings(false, 3);
  options.outputLayout = GetParam().outputLayout;
  options.layout4Checked = GetParam().layout4Checked;
  m_record.title = kTitle;
  m_record.num_iid = "1";
  m_record.picture = "left over|;";
  ASSERT_TRUE(downloadMainPictures(response, m_record, m_progress, options, context()));
  ASSERT_TRUE(downloadPropertyPictures(response, m_record, m_progress, options, context()));

  const std::string picture = m_record.picture;
  EXPECT_TRUE(std::regex_match(picture, std::regex(GetParam().pattern))) << picture;
  std::vector<std::size_t> sizes;
  const std::regex name("([0-9a-f]{32}):");
  for (std::sregex_iterator it(picture.begin(), picture.end(), name), end; it != end; ++it) {
    Bytes bytes;
    EXPECT_TRUE(readWholeFile(joinPath(outputFolder(), (*it)[1].str() + ".tbi"), bytes));
    sizes.push_back(bytes.size());
  }
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_GT(sizes[0], 0u);
  EXPECT_EQ(sizes[1], 0u);  // a failed picture is still listed, as a zero-byte file
  EXPECT_GT(sizes[2], 0u);

  const std::vector<std::string> expected = {
      "  开始下载 第：3/7  个宝贝   宝贝主图数据！",     "  正在下载 第：1/2  张 宝贝主图数据... ",
      "  正在下载 第：2/2  张 宝贝主图数据... ",         "  下载完毕 第：3/7  个宝贝   宝贝主图数据！",
      "  开始下载 第：3/7  个宝贝   销售属性图片数据！", "  正在下载 第：1/1  张 销售属性图片数据... ",
      "  下载完毕 第：3/7  个宝贝   销售属性图片数据！"};
  ASSERT_EQ(m_lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(m_lines[i], gbk(expected[i]));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, GalleryTest,
    ::testing::Values(
        GalleryCase{4, true, R"re([0-9a-f]{32}:0:0:\|;[0-9a-f]{32}:0:1:\|;[0-9a-f]{32}:1:0:1627207:28320\|;)re"},
        GalleryCase{5, false, R"re([0-9a-f]{32}:1:0:\|;[0-9a-f]{32}:1:1:\|;[0-9a-f]{32}:2:0:1627207:28320\|;)re"},
        // Main entries follow the saved layout, property entries the radio button as it stands.
        GalleryCase{5, true, R"re([0-9a-f]{32}:1:0:\|;[0-9a-f]{32}:1:1:\|;[0-9a-f]{32}:1:0:1627207:28320\|;)re"}));

}  // namespace
}  // namespace mirabex
