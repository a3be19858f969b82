#include "collect/csv_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "collect/csv_body.h"
#include "collect/csv_layout.h"
#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

Text g(std::string_view utf8) { return utf8ToGbk(utf8); }

class CsvWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("mirabex-csv-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }

  // A GBK path inside the test folder; the name itself is Chinese to cover the conversion.
  Text pathOf(std::string_view utf8Name) const { return utf8ToGbk((m_folder / std::string(utf8Name)).string()); }

  static std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  std::filesystem::path m_folder;
};

TEST_F(CsvWriterTest, WritesHeaderAndBodyReplacingAnOldFile) {
  const Text path = pathOf("宝贝.csv");
  std::ofstream(fileSystemPath(path), std::ios::binary) << "an older and much longer file content\r\n";

  const CsvWriteResult result = writeCsvFile(path, "H\r\n", "row1\r\nrow2\r\n");
  EXPECT_TRUE(result.written);
  EXPECT_EQ(result.path, path);
  EXPECT_EQ(result.reason, "");
  EXPECT_EQ(readBytes(fileSystemPath(path)), "H\r\nrow1\r\nrow2\r\n");
}

TEST_F(CsvWriterTest, RunWithoutRowsWritesTheHeaderOnly) {
  const Text path = pathOf("empty.csv");
  ASSERT_TRUE(writeCsvFile(path, csvHeader(kCsvLayout5), CsvBody{}.text()).written);
  EXPECT_EQ(readBytes(fileSystemPath(path)), csvHeader(kCsvLayout5));
}

TEST_F(CsvWriterTest, FailuresAreReportedWithPathAndReason) {
  struct Case {
    const char* name;
    Text path;
    const FileWriter* writer;
  };
  const Case cases[] = {
      {"writer refuses", pathOf("a.csv"), &failingFileWriter()},
      {"folder missing", pathOf("missing/a.csv"), &defaultFileWriter()},
      {"path is a folder", pathOf(""), &defaultFileWriter()},
      {"no path", "", &defaultFileWriter()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Text body = "row\r\n";
    const CsvWriteResult result = writeCsvFile(c.path, "H\r\n", body, *c.writer);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.path, c.path);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(body, "row\r\n");
  }
  EXPECT_FALSE(std::filesystem::exists(m_folder / "a.csv"));
}

TEST(CsvBodyTest, KeepsRowsInAppendOrderAndIgnoresEmptyOnes) {
  CsvBody body;
  EXPECT_TRUE(body.appendRow("b\r\n"));
  EXPECT_FALSE(body.appendRow(""));
  EXPECT_TRUE(body.appendRow("a\r\n"));
  EXPECT_EQ(body.text(), "b\r\na\r\n");
  EXPECT_EQ(body.rowCount(), 2);
  body.clear();
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(body.text(), "");
}

// The file as a spreadsheet or a script sees it: Python's csv module, reading GBK.
TEST_F(CsvWriterTest, WrittenFileReadsUnderPythonCsv) {
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not available";
  ItemRecord item;
  item.num_iid = "42";
  item.title = g("标题\"带引号\n和换行");
  item.cid = "1,2";
  item.desc = g("描述|*|内容\"结尾");
  item.outer_id = "x|*";
  item.property_alias = ";";
  for (const int layout : {kCsvLayout4, kCsvLayout5}) {
    SCOPED_TRACE(layout);
    CsvBody body;
    body.appendRow(csvRow(item, layout, "detail.tmall.com"));
    body.appendRow(csvRow(item, layout, "detail.tmall.com"));
    const Text path = pathOf("py" + std::to_string(layout) + ".csv");
    ASSERT_TRUE(writeCsvFile(path, csvHeader(layout), body.text()).written);

    const std::filesystem::path report = m_folder / "counts.txt";
    const std::string command =
        "python3 -c \"import csv,sys; rows=list(csv.reader(open(sys.argv[1], encoding='gbk', newline=''), "
        "strict=True)); print(' '.join(str(len(r)) for r in rows)); print(rows[-1][0] == '标题\\\"带引号\\n和换行')\" '" +
        gbkToUtf8(path) + "' > '" + report.string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readBytes(report);
    const std::string n = std::to_string(csvFieldCount(layout));
    const std::string counts = layout == kCsvLayout4 ? n + " " + n + " " + n : n + " " + n + " " + n + " " + n + " " + n;
    EXPECT_EQ(readBytes(report), counts + "\nTrue\n");
  }
}

}  // namespace
}  // namespace mirabex
