#include "itemlist/item_list_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <unistd.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {

// Readable failure output for rows.
void PrintTo(const ItemRow& row, std::ostream* out) {
  *out << "{" << row.title << " | " << row.price << " | " << row.itemUrl << " | " << row.itemId << "}";
}

namespace {

namespace fs = std::filesystem;

// 宝贝 (B1A6 B1B4), and 讄 (D7 7C), a character whose second byte is '|'.
const Text kBaobei = "\xB1\xA6\xB1\xB4";
const Text kPipeTrail = "\xD7\x7C";
const Text kFullWidthSpace = "\xA1\xA1";

// A fresh folder with a Chinese name, handed to the code under test as GBK text.
class ItemListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() /
               ("h6-item-list-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-\xE5\xAE\x9D\xE8\xB4\x9D");
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
  }
  void TearDown() override { fs::remove_all(m_folder); }

  // GBK path of a file in the folder.
  Text gbkPath(const std::string& name) const { return utf8ToGbk((m_folder / name).string()); }

  std::string readBytes(const std::string& name) const {
    std::ifstream in(m_folder / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void writeBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(m_folder / name, std::ios::binary) << bytes;
  }

  fs::path m_folder;
};

TEST(ItemListFileText, FieldOrderIsTitleIdPriceAddress) {
  const std::vector<ItemRow> rows = {
      {kBaobei + " A", "12.50", "http://item/1", "1001"},
      {"single", "", "http://typed/2", "1002"},
      {"no address", "3", "", "1003"},
  };
  EXPECT_EQ(itemListFileText(rows), kBaobei +
                                        " A||1001||12.50||http://item/1\r\n"
                                        "single||1002||||http://typed/2\r\n"
                                        "no address||1003||3||\r\n");
}

TEST(ItemListFileText, OnlyTheWholeTextsLeadingSpacesGo) {
  const std::vector<ItemRow> rows = {
      {"  " + kFullWidthSpace + " " + kBaobei + " ", "1", "u", "9"},
      {"  second", "2", "v", "8"},
  };
  EXPECT_EQ(itemListFileText(rows), kBaobei + " ||9||1||u\r\n  second||8||2||v\r\n");
  EXPECT_EQ(itemListFileText({{" ", "", "", ""}}), "||||||\r\n");
  EXPECT_EQ(itemListFileText({}), "");
}

TEST(ParseItemListFileText, LineShapes) {
  struct Case {
    const char* what;
    Text text;
    std::vector<ItemRow> rows;
  };
  const Case cases[] = {
      {"four fields", "t||1||2.5||http://a\r\n", {{"t", "2.5", "http://a", "1"}}},
      {"empty price kept", "t||1||||http://a\r\n", {{"t", "", "http://a", "1"}}},
      {"empty title kept", "||1||2||u\r\n", {{"", "2", "u", "1"}}},
      {"empty last field dropped leaves three", "t||1||2||\r\n", {}},
      {"three fields", "t||1||2\r\n", {}},
      {"five fields", "t||1||2||u||x\r\n", {}},
      {"a single bar stays inside a field", "t|x||1||2||u\r\n", {{"t|x", "2", "u", "1"}}},
      {"a trail byte equal to '|' is no separator",
       kPipeTrail + "||1||2||u\r\n" + "a" + kPipeTrail + "|||1||2||u\r\n",
       {{kPipeTrail, "2", "u", "1"}, {"a" + kPipeTrail, "2", "u", "|1"}}},
      {"last line without a line end", "a||1||2||u\r\nb||3||4||v", {{"a", "2", "u", "1"}, {"b", "4", "v", "3"}}},
      {"line feed alone", "a||1||2||u\nb||3||4||v\n", {{"a", "2", "u", "1"}, {"b", "4", "v", "3"}}},
      {"blank and broken lines between good ones",
       "\r\na||1||2||u\r\nbroken\r\n\r\nb||3||4||v\r\n",
       {{"a", "2", "u", "1"}, {"b", "4", "v", "3"}}},
      {"empty text", "", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseItemListFileText(c.text), c.rows) << c.what;
  }
}

TEST_F(ItemListFileTest, ExportThenImportReproducesTheList) {
  ItemList list;
  list.append({kBaobei + kPipeTrail + "|" + kBaobei, "99.00", "http://item.taobao.com/item.htm?id=1", "1"});
  list.append({"single item", "", "http://typed address/" + kBaobei, "2"});
  list.append({"twin", "1", "u", "3"});
  list.append({"twin", "1", "u", "3"});

  ASSERT_EQ(exportItemListFile(gbkPath("list.txt"), list), ItemListExportOutcome::Written);
  EXPECT_EQ(readBytes("list.txt"), itemListFileText(list.rows()));

  ItemList imported;
  imported.append({"old", "", "", ""});
  EXPECT_EQ(importItemListFile(gbkPath("list.txt"), imported), 4);
  EXPECT_EQ(imported.rows(), list.rows());
}

TEST_F(ItemListFileTest, RoundTripLosesLeadingSpacesAndRowsWithoutAddress) {
  ItemList list;
  list.append({"  first", "1", "u", "1"});
  list.append({"no address", "2", "", "2"});
  list.append({"  third", "3", "w", "3"});
  ASSERT_EQ(exportItemListFile(gbkPath("list.txt"), list), ItemListExportOutcome::Written);

  ItemList imported;
  EXPECT_EQ(importItemListFile(gbkPath("list.txt"), imported), 2);
  EXPECT_EQ(imported.rows(), (std::vector<ItemRow>{{"first", "1", "u", "1"}, {"  third", "3", "w", "3"}}));
}

TEST_F(ItemListFileTest, ImportClearsTheListEvenWithoutAValidLine) {
  writeBytes("bad.txt", "a||b||c\r\na||b||c||d||e\r\n");
  ItemList list;
  list.append({"old", "", "", ""});
  EXPECT_EQ(importItemListFile(gbkPath("bad.txt"), list), 0);
  EXPECT_EQ(list.count(), 0);
}

TEST_F(ItemListFileTest, UnreadableFileLeavesTheListAlone) {
  ItemList list;
  list.append({"kept", "", "", ""});
  EXPECT_EQ(importItemListFile(gbkPath("missing.txt"), list), -1);
  EXPECT_EQ(list.count(), 1);
}

TEST_F(ItemListFileTest, ExportReplacesTheFile) {
  writeBytes("list.txt", std::string(1000, 'x'));
  ItemList list;
  list.append({"t", "p", "u", "i"});
  ASSERT_EQ(exportItemListFile(gbkPath("list.txt"), list), ItemListExportOutcome::Written);
  EXPECT_EQ(readBytes("list.txt"), "t||i||p||u\r\n");
}

TEST_F(ItemListFileTest, EmptyListWritesNothing) {
  ItemList list;
  EXPECT_EQ(exportItemListFile(gbkPath("list.txt"), list), ItemListExportOutcome::EmptyList);
  EXPECT_FALSE(fs::exists(m_folder / "list.txt"));
}

TEST_F(ItemListFileTest, WriteFailureIsReported) {
  ItemList list;
  list.append({"t", "p", "u", "i"});
  EXPECT_EQ(exportItemListFile(gbkPath("no such folder/list.txt"), list), ItemListExportOutcome::WriteFailed);
}

}  // namespace
}  // namespace mirabex
