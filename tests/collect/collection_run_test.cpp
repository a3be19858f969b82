#include "collect/collection_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sandbox/catalogue.h"
#include "support/run_fixture.h"
#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

using namespace std::chrono_literals;
using testing::gbk;
using testing::sharedSandbox;

constexpr int kLayout5HeaderLines = 3;
constexpr int kNumIdColumn5 = 36;  // "num_id" of the 5.x layout, counted from 0

class CollectionRunTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::resetSandbox(); }
  void TearDown() override { testing::resetSandbox(); }

  Text savePath() const { return joinPath(m_folder.path(), "items.csv"); }

  // Data records of the CSV at `path` (header lines dropped); empty when there is no file.
  static std::vector<std::vector<std::string>> csvRows(const Text& path) {
    Bytes bytes;
    if (!readWholeFile(path, bytes)) return {};
    auto records = testing::parseCsv(bytes);
    if (records.size() < kLayout5HeaderLines) return {};
    return {records.begin() + kLayout5HeaderLines, records.end()};
  }

  // How many times each row number was claimed, from the workers' start lines.
  std::map<int, int> claimsPerRow(int totalRows) const {
    std::map<int, int> claims;
    for (int row = 1; row <= totalRows; ++row) {
      const Text needle =
          gbk("  开始下载 第：") + std::to_string(row) + "/" + std::to_string(totalRows) + gbk(" 个宝贝:");
      claims[row] = static_cast<int>(m_rig.host.linesContaining(needle).size());
    }
    return claims;
  }

  static std::map<int, int> once(int totalRows) {
    std::map<int, int> claims;
    for (int row = 1; row <= totalRows; ++row) claims[row] = 1;
    return claims;
  }

  testing::ScratchFolder m_folder;
  testing::RunRig m_rig;
};

class RunSizeTest : public CollectionRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(RunSizeTest, EveryRowOnceThenTotalsCsvAndIdle) {
  const int rows = GetParam();
  const std::vector<std::string> ids = testing::generatedIds(rows);
  m_rig.fillList(ids);
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();

  EXPECT_EQ(claimsPerRow(rows), once(rows));
  EXPECT_EQ(sharedSandbox().servedCount("gateway"), rows);
  const auto run = controller.run();
  EXPECT_EQ(run->claimedRows(), rows);
  EXPECT_EQ(run->finishedWorkers(), CollectionRun::kWorkerCount);
  EXPECT_EQ(controller.state(), RunState::Idle);
  EXPECT_EQ(m_rig.host.states().back(), RunState::Idle);
  ASSERT_TRUE(m_rig.host.totals());
  EXPECT_EQ(m_rig.host.totals()->totalRows, rows);
  EXPECT_EQ(m_rig.host.totals()->succeededRows, rows);
  EXPECT_EQ(m_rig.host.totals()->failedRows, 0);
  EXPECT_EQ(m_rig.host.finishedCount(), 1);
  const auto finalLines =
      m_rig.host.linesContaining(gbk(" 个宝贝 下载完成！成功： ") + std::to_string(rows) + gbk(" 失败：0"));
  ASSERT_EQ(finalLines.size(), 1u);
  if (rows == 1) {
    EXPECT_TRUE(containsText(finalLines[0], gbk(" 第：1/1 个宝贝 下载完成！")));
  }

  // One CSV row per item, written once at the end.
  const auto records = csvRows(savePath());
  ASSERT_EQ(records.size(), static_cast<std::size_t>(rows));
  std::set<std::string> written;
  for (const auto& record : records) {
    ASSERT_EQ(record.size(), 44u);
    written.insert(record[kNumIdColumn5]);
  }
  EXPECT_EQ(written, std::set<std::string>(ids.begin(), ids.end()));

  // The pictures sit in the folder named after the CSV, one file per listed picture.
  EXPECT_EQ(run->outputFolder(), joinPath(m_folder.path(), "items"));
  int pictures = 0;
  for (const std::string& id : ids) {
    const auto item = sharedSandbox().catalogue().item(id);
    pictures += static_cast<int>(item->itemImgUrls.size() + item->propImgs.size());
  }
  int tbiFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(fileSystemPath(run->outputFolder()))) {
    tbiFiles += entry.path().extension() == ".tbi" ? 1 : 0;
  }
  EXPECT_EQ(tbiFiles, pictures);
}

INSTANTIATE_TEST_SUITE_P(Rows, RunSizeTest, ::testing::Values(1, 3, 50));

TEST_F(CollectionRunTest, EmptyTitleCountsAsFailed) {
  m_rig.fillList({testing::specialId(4), testing::specialId(1)});
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();
  ASSERT_TRUE(m_rig.host.totals());
  EXPECT_EQ(m_rig.host.totals()->succeededRows, 1);
  EXPECT_EQ(m_rig.host.totals()->failedRows, 1);
  EXPECT_EQ(m_rig.host.linesContaining(gbk(" 下载完成！成功： 1 失败：1")).size(), 1u);
  EXPECT_EQ(csvRows(savePath()).size(), 1u);
}

TEST_F(CollectionRunTest, StartRefusesAnEmptyListOrSavePath) {
  CollectionController controller(m_rig.services());
  EXPECT_EQ(controller.start(savePath()), StartOutcome::EmptyList);
  m_rig.fillList(testing::generatedIds(1));
  EXPECT_EQ(controller.start(""), StartOutcome::NoSavePath);
  EXPECT_EQ(controller.run(), nullptr);
  EXPECT_TRUE(m_rig.host.states().empty());
}

TEST_F(CollectionRunTest, PauseHoldsEveryWorkerAndContinueLosesNoRow) {
  constexpr int kRows = 20;
  sharedSandbox().setLatencyMs("*", 15);
  m_rig.fillList(testing::generatedIds(kRows));
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  ASSERT_TRUE(m_rig.host.waitForDoneRows(2));

  EXPECT_EQ(controller.pauseOrContinue(), RunState::Paused);
  std::this_thread::sleep_for(300ms);  // steps already under way finish
  const std::size_t linesAtPause = m_rig.host.lines().size();
  const int requestsAtPause = static_cast<int>(sharedSandbox().requests().size());
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(m_rig.host.lines().size(), linesAtPause);
  EXPECT_EQ(static_cast<int>(sharedSandbox().requests().size()), requestsAtPause);
  EXPECT_LT(m_rig.host.lastProgress().doneRows, kRows);

  EXPECT_EQ(controller.pauseOrContinue(), RunState::Running);
  controller.wait();
  EXPECT_EQ(claimsPerRow(kRows), once(kRows));
  ASSERT_TRUE(m_rig.host.totals());
  EXPECT_EQ(m_rig.host.totals()->succeededRows, kRows);
  EXPECT_EQ(csvRows(savePath()).size(), static_cast<std::size_t>(kRows));
  const std::vector<RunState> expected = {RunState::Running, RunState::Paused, RunState::Running, RunState::Idle};
  EXPECT_EQ(m_rig.host.states(), expected);
}

TEST_F(CollectionRunTest, StopWritesNothingAndTheNextStartBeginsAtRowOne) {
  constexpr int kRows = 30;
  sharedSandbox().setLatencyMs("*", 20);
  m_rig.fillList(testing::generatedIds(kRows));
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  ASSERT_TRUE(m_rig.host.waitForDoneRows(1));
  controller.stop();
  EXPECT_EQ(controller.state(), RunState::Idle);
  controller.wait();

  const auto stopped = controller.run();
  EXPECT_FALSE(fileExists(savePath()));
  EXPECT_EQ(m_rig.host.finishedCount(), 0);
  const int claimedAtStop = stopped->claimedRows();
  EXPECT_GE(claimedAtStop, 1);
  EXPECT_LT(claimedAtStop, kRows);
  EXPECT_LT(stopped->finishedWorkers(), CollectionRun::kWorkerCount);

  sharedSandbox().setLatencyMs("*", 0);
  m_rig.host.clear();
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();
  EXPECT_NE(controller.run(), stopped);
  EXPECT_EQ(claimsPerRow(kRows), once(kRows));
  EXPECT_EQ(stopped->claimedRows(), claimedAtStop);  // the old run keeps its figures
  EXPECT_EQ(csvRows(savePath()).size(), static_cast<std::size_t>(kRows));
}

TEST_F(CollectionRunTest, StopReleasesPausedWorkers) {
  sharedSandbox().setLatencyMs("*", 20);
  m_rig.fillList(testing::generatedIds(10));
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  ASSERT_TRUE(m_rig.host.waitForDoneRows(1));
  controller.pause();
  controller.stop();
  controller.wait();  // returns only when every worker has left
  EXPECT_EQ(controller.state(), RunState::Idle);
  EXPECT_FALSE(fileExists(savePath()));
}

TEST_F(CollectionRunTest, RunWithoutAnyWorkingKeyStillCompletes) {
  sharedSandbox().setValidKeyPairs({});
  m_rig.fillList(testing::generatedIds(8));
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();
  EXPECT_EQ(controller.state(), RunState::Idle);
  ASSERT_TRUE(m_rig.host.totals());
  EXPECT_EQ(m_rig.host.totals()->totalRows, 8);
  EXPECT_EQ(m_rig.host.totals()->succeededRows, 0);
  EXPECT_EQ(m_rig.host.totals()->failedRows, 8);  // rows never claimed count as failed
  EXPECT_FALSE(m_rig.host.linesContaining(gbk("没有可用的App")).empty());
  Bytes csv;
  ASSERT_TRUE(readWholeFile(savePath(), csv));
  EXPECT_EQ(testing::parseCsv(csv).size(), static_cast<std::size_t>(kLayout5HeaderLines));
}

TEST_F(CollectionRunTest, KeysRunningOutMidRunKeepTheRowsAlreadyCollected) {
  constexpr int kRows = 12;
  sharedSandbox().setLatencyMs("*", 10);
  m_rig.fillList(testing::generatedIds(kRows));
  CollectionController controller(m_rig.services());
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  ASSERT_TRUE(m_rig.host.waitForDoneRows(2));
  sharedSandbox().setValidKeyPairs({});
  controller.wait();
  ASSERT_TRUE(m_rig.host.totals());
  const RunTotals totals = *m_rig.host.totals();
  EXPECT_GE(totals.succeededRows, 2);
  EXPECT_LT(totals.succeededRows, kRows);
  EXPECT_EQ(totals.succeededRows + totals.failedRows, kRows);
  EXPECT_EQ(csvRows(savePath()).size(), static_cast<std::size_t>(totals.succeededRows));
}

// Writes everything but the CSV, as a save path on a full or read-only disk would.
class CsvRefusingWriter : public FileWriter {
 public:
  bool writeWholeFile(const Text& path, std::string_view bytes) const override {
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".csv") == 0) return false;
    return defaultFileWriter().writeWholeFile(path, bytes);
  }
  bool createFolder(const Text& path) const override { return defaultFileWriter().createFolder(path); }
};

TEST_F(CollectionRunTest, UnwritableCsvIsReportedAndItsRowsAreKept) {
  const CsvRefusingWriter writer;
  m_rig.fillList(testing::generatedIds(3));
  CollectionController controller(m_rig.services(systemClock(), writer));
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();

  const auto failures = m_rig.host.csvFailures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].path, savePath());
  EXPECT_FALSE(failures[0].reason.empty());
  EXPECT_EQ(m_rig.host.linesContaining(gbk("CSV文件写入失败：") + savePath()).size(), 1u);
  EXPECT_EQ(controller.state(), RunState::Idle);

  // The host can offer another path: the kept rows go there with their header.
  const Text elsewhere = joinPath(m_folder.path(), "again.txt");
  EXPECT_TRUE(controller.run()->writeCsv(elsewhere).written);
  EXPECT_EQ(csvRows(elsewhere).size(), 3u);
}

TEST_F(CollectionRunTest, PicturesOfOneRunNeverShareANameEvenWhenTheClockStandsStill) {
  sharedSandbox().setCheckTimestampWindow(false);
  const FixedClock standing{std::chrono::system_clock::now(), DateTime{2013, 4, 25, 7, 42, 46, 0}};
  // The same item twice, and items with several main and property pictures.
  m_rig.fillList({testing::specialId(1), testing::specialId(1), testing::specialId(5)});
  CollectionController controller(m_rig.services(standing));
  ASSERT_EQ(controller.start(savePath()), StartOutcome::Started);
  controller.wait();
  std::set<std::string> names;
  int entries = 0;
  for (const auto& record : csvRows(savePath())) {
    const std::string& picture = record[28];
    for (std::size_t at = 0, end; (end = picture.find("|;", at)) != std::string::npos; at = end + 2) {
      names.insert(picture.substr(at, 32));
      ++entries;
    }
  }
  EXPECT_EQ(entries, 3 + 3 + 4);
  EXPECT_EQ(names.size(), static_cast<std::size_t>(entries));
}

TEST(SavePath, GivesTheFolderBesideTheCsv) {
  struct Case {
    Text savePath;
    Text directory;
    Text baseName;
  };
  const Case cases[] = {
      {"/home/seller/out/items.csv", "/home/seller/out/", "items"},
      {"/home/seller/out/items.2013.csv", "/home/seller/out/", "items"},
      {"/home/seller/out/items", "/home/seller/out/", "items"},
      {"items.csv", "", "items"},
      {gbk("/home/卖家/导出/宝贝.csv"), gbk("/home/卖家/导出/"), gbk("宝贝")},
  };
  for (const Case& c : cases) {
    const SavePathParts parts = splitSavePath(c.savePath);
    EXPECT_EQ(parts.directory, c.directory) << c.savePath;
    EXPECT_EQ(parts.baseName, c.baseName) << c.savePath;
    EXPECT_EQ(parts.outputFolder(), c.directory + c.baseName);
  }
}

}  // namespace
}  // namespace mirabex
