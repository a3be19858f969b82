#include "collect/picture_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/run_fixture.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/text_helpers.h"

namespace mirabex {
namespace {

using testing::ScratchFolder;

const FixedClock kStandingClock{std::chrono::system_clock::time_point{}, DateTime{2013, 4, 25, 7, 42, 46, 120}};

bool isPictureName(const Text& name) {
  return name.size() == 32 && name.find_first_not_of("0123456789abcdef") == Text::npos;
}

TEST(PictureStore, NamesStayDistinctWhenTheClockStandsStill) {
  PictureStore store("/out/items", failingFileWriter(), kStandingClock);
  std::set<Text> names;
  for (int i = 0; i < 50; ++i) {
    const Text name = store.nextPictureName("title", "1");
    EXPECT_TRUE(isPictureName(name)) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
}

TEST(PictureStore, FirstNameIsTheDigestOfTimeTitleAndId) {
  PictureStore store("/out/items", failingFileWriter(), kStandingClock);
  // Unix milliseconds of 2013-04-25 07:42:46.120 counted from 1970-01-01 08:00:00.
  EXPECT_EQ(store.nextPictureName("T", "9"), Md5Text("1366846966120T9"));
}

TEST(PictureStore, TitleFolderName) {
  struct Case {
    Text title;
    Text folder;
  };
  const Case cases[] = {
      {"a/b\\c.d", "abcd"},
      {"...", ""},
      // GBK characters whose second byte is '\' stay whole.
      {"\x95\x5C/\x95\x5C", "\x95\x5C\x95\x5C"},
      {testing::gbk("韩版.连衣裙"), testing::gbk("韩版连衣裙")},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureStore::titleFolderName(c.title), c.folder) << c.title;
}

TEST(PictureStore, FileUrlsOfAbsolutePaths) {
  EXPECT_EQ(PictureStore::fileUrl("/home/seller/out/items/a.jpg"), "file:///home/seller/out/items/a.jpg");
  EXPECT_EQ(PictureStore::fileUrl("D:\\out\\items\\a.jpg"), "file:///D:/out/items/a.jpg");
}

TEST(PictureStore, ConcurrentWritesOfOneFileNeverMix) {
  ScratchFolder folder;
  PictureStore store(folder.path(), defaultFileWriter(), systemClock());
  const Text path = joinPath(folder.path(), "same.jpg");
  const std::string first(200000, 'a');
  const std::string second(150000, 'b');
  {
    std::vector<std::jthread> writers;
    for (const std::string* bytes : {&first, &second, &first, &second}) {
      writers.emplace_back([&store, &path, bytes] {
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(store.writeFile(path, *bytes));
      });
    }
  }
  Bytes stored;
  ASSERT_TRUE(readWholeFile(path, stored));
  EXPECT_TRUE(stored == first || stored == second) << "size " << stored.size();
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(fileSystemPath(folder.path())))
    ++entries;
  EXPECT_EQ(entries, 1);  // no private files left behind
}

TEST(PictureStore, FailedWriteLeavesNothing) {
  ScratchFolder folder;
  PictureStore store(folder.path(), failingFileWriter(), systemClock());
  EXPECT_FALSE(store.writeFile(joinPath(folder.path(), "a.jpg"), "bytes"));
  EXPECT_TRUE(std::filesystem::is_empty(fileSystemPath(folder.path())));
}

}  // namespace
}  // namespace mirabex
