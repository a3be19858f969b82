// Whole runs of `mirabex-cli collect` against the sandbox, through the command objects
// with streams of their own.

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

namespace fs = std::filesystem;

sandbox::SandboxServer& sandboxServer() {
  static const std::unique_ptr<sandbox::SandboxServer> server = [] {
    auto started = std::make_unique<sandbox::SandboxServer>();
    if (!started->start(0)) std::abort();
    return started;
  }();
  return *server;
}

void writeBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Field counts of every record, as Python's csv module reads the GBK file; empty when
// python3 is not there.
std::vector<int> pythonFieldCounts(const fs::path& csv, const fs::path& scratch) {
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) return {};
  const fs::path script = scratch / "fields.py";
  writeBytes(script,
             "import csv, sys\n"
             "with open(sys.argv[1], encoding='gbk', newline='') as f:\n"
             "    for row in csv.reader(f):\n"
             "        print(len(row))\n");
  const fs::path out = scratch / "fields.txt";
  const std::string command = "python3 '" + script.string() + "' '" + csv.string() + "' > '" + out.string() + "'";
  if (std::system(command.c_str()) != 0) return {-1};
  std::vector<int> counts;
  std::istringstream lines(readBytes(out));
  for (int count = 0; lines >> count;) counts.push_back(count);
  return counts;
}

class CollectCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandboxServer().clearFaults();
    sandboxServer().clearRequests();
    static std::atomic<int> sequence{0};
    m_runDir = fs::temp_directory_path() /
               ("mirabex-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence));
    fs::remove_all(m_runDir);
    fs::create_directories(m_runDir / "options");
    writeBytes(
        m_runDir / "options" / "network.ini",
        "[hosts]\r\nkey_pool=config.sandbox.test\r\n[route]\r\nconnect_to=" + sandboxServer().address() + "\r\n");
    writeOptions(5);
  }
  void TearDown() override {
    sandboxServer().clearFaults();
    std::error_code error;
    fs::remove_all(m_runDir, error);
  }

  void writeOptions(int layout) {
    writeBytes(
        m_runDir / "options" / "options.ini",
        utf8ToGbk("[DL_PIC]\r\ndownload=真\r\ntaobao_only=假\r\nfall=3\r\n[PR_INFO]\r\np_type=假\r\nn_type=假\r\n"
                  "price=100\r\nprice_num=0\r\nnum=100\r\n[SAVE]\r\ntype=" +
                  std::to_string(layout) + "\r\n"));
  }

  fs::path writeList(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
      text += utf8ToGbk("宝贝") + id + "||" + id + "||1.00||http://item.taobao.com/item.htm?id=" + id + "\r\n";
    }
    const fs::path list = m_runDir / "items.txt";
    writeBytes(list, text);
    return list;
  }

  int run(std::vector<std::string> arguments) {
    m_out.str({});
    m_err.str({});
    cli::CommandContext context{.out = m_out,
                                .err = m_err,
                                .errIsTerminal = false,
                                .runDirectory = utf8ToGbk(m_runDir.string()),
                                .interrupted = &m_interrupted};
    return cli::CliApp().run(arguments, context);
  }

  static std::vector<std::string> sampleIds() {
    std::vector<std::string> ids;
    for (const sandbox::SandboxItem& item : sandboxServer().catalogue().items()) ids.push_back(item.numIid);
    for (int i = 1; i <= 5; ++i) ids.push_back(sandbox::Catalogue::generatedItemId(i));
    return ids;
  }

  fs::path m_runDir;
  std::ostringstream m_out;
  std::ostringstream m_err;
  std::atomic<bool> m_interrupted{false};
};

struct LayoutCase {
  int layout;
  int headerLines;
  int fields;
};

class CollectLayoutTest : public CollectCliTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(CollectLayoutTest, WholeRunGivesAReadableCsvAndItsPictureFolder) {
  const LayoutCase c = GetParam();
  writeOptions(c.layout);
  const std::vector<std::string> ids = sampleIds();
  const fs::path save = m_runDir / "out" / "items.csv";
  fs::create_directories(save.parent_path());
  ASSERT_EQ(run({"collect", "--list", writeList(ids).string(), "--save", save.string(), "--options",
                 (m_runDir / "options").string()}),
            cli::kExitOk)
      << m_err.str();

  // The item without a title is the only failure.
  const int total = static_cast<int>(ids.size());
  EXPECT_NE(m_out.str().find("下载总数： " + std::to_string(total) + "\n"), std::string::npos) << m_out.str();
  EXPECT_NE(m_out.str().find("成功下载： " + std::to_string(total - 1) + "\n"), std::string::npos);
  EXPECT_NE(m_out.str().find("下载失败： 1\n"), std::string::npos);
  EXPECT_NE(m_out.str().find("csv: " + save.string() + "\n"), std::string::npos);
  EXPECT_NE(m_out.str().find("pictures: " + (m_runDir / "out" / "items").string() + "\n"), std::string::npos);
  // Log lines reach stderr as UTF-8, one per line.
  EXPECT_NE(m_err.str().find("线程：1  开始下载 第："), std::string::npos);
  EXPECT_NE(m_err.str().find(" 个宝贝 下载完成！成功： " + std::to_string(total - 1) + " 失败：1\n"),
            std::string::npos);

  const std::vector<int> counts = pythonFieldCounts(save, m_runDir);
  if (counts.empty()) {
    GTEST_LOG_(INFO) << "python3 not found; field counts not checked";
  } else {
    ASSERT_EQ(counts.size(), static_cast<std::size_t>(c.headerLines + total - 1));
    for (std::size_t i = static_cast<std::size_t>(c.headerLines); i < counts.size(); ++i) {
      EXPECT_EQ(counts[i], c.fields) << "record " << i;
    }
  }
  const std::string csv = readBytes(save);
  EXPECT_EQ(csv.find(utf8ToGbk(c.layout == 4 ? "宝贝名称,宝贝类目," : "version 1.00,")), 0u);
  // Descriptions point at the pictures beside the CSV with real file URLs.
  EXPECT_NE(csv.find(utf8ToGbk("file://" + (m_runDir / "out" / "items").string() + "/")), std::string::npos);
  EXPECT_EQ(csv.find("file:////"), std::string::npos);

  int tbi = 0;
  for (const auto& entry : fs::directory_iterator(m_runDir / "out" / "items"))
    tbi += entry.path().extension() == ".tbi";
  EXPECT_GT(tbi, total);
  EXPECT_TRUE(fs::is_directory(fs::path(m_runDir / "out" / "items" / "手工陶瓷茶具套装")));
}

INSTANTIATE_TEST_SUITE_P(Layouts, CollectLayoutTest, ::testing::Values(LayoutCase{4, 1, 46}, LayoutCase{5, 3, 44}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                           return "Layout" + std::to_string(info.param.layout);
                         });

TEST_F(CollectCliTest, DefaultsComeFromTheRunDirectory) {
  // No --save and no --options: the options folder and the save path of the program's folder.
  ASSERT_EQ(run({"collect", "--list", writeList({sandbox::Catalogue::generatedItemId(7)}).string()}), cli::kExitOk)
      << m_err.str();
  int csvFiles = 0;
  for (const auto& entry : fs::directory_iterator(m_runDir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("csv", 0) == 0 && entry.path().extension() == ".csv") {
      ++csvFiles;
      EXPECT_EQ(name.find_first_not_of("0123456789", 3), name.size() - 4) << name;
      EXPECT_TRUE(fs::is_directory(m_runDir / entry.path().stem()));
    }
  }
  EXPECT_EQ(csvFiles, 1);
}

TEST_F(CollectCliTest, EmptyKeyPoolEndsWithItsMessage) {
  sandboxServer().setFault("keypool", sandbox::Fault::NotXml);
  EXPECT_EQ(run({"collect", "--list", writeList(sampleIds()).string()}), cli::kExitNoKeys);
  EXPECT_NE(m_err.str().find("预定信息 加载失败，请重新启动--"), std::string::npos);
  EXPECT_EQ(sandboxServer().servedCount("gateway"), 0);
}

TEST_F(CollectCliTest, UnwritableCsvExitsNonZero) {
  const fs::path save = m_runDir / "taken.csv";
  fs::create_directories(save);  // a folder where the file should go
  EXPECT_EQ(run({"collect", "--list", writeList({sandbox::Catalogue::generatedItemId(3)}).string(), "--save",
                 save.string()}),
            cli::kExitCsvNotWritten);
  EXPECT_NE(m_err.str().find("the CSV could not be written to " + save.string()), std::string::npos)
      << m_err.str();
  EXPECT_NE(m_err.str().find("CSV文件写入失败："), std::string::npos);
}

TEST_F(CollectCliTest, InterruptStopsTheRunAndWritesNothing) {
  sandboxServer().setLatencyMs("*", 50);
  std::vector<std::string> ids;
  for (int i = 1; i <= 40; ++i) ids.push_back(sandbox::Catalogue::generatedItemId(i));
  m_interrupted = true;
  const fs::path save = m_runDir / "stopped.csv";
  EXPECT_EQ(run({"collect", "--list", writeList(ids).string(), "--save", save.string()}), cli::kExitInterrupted);
  EXPECT_FALSE(fs::exists(save));
}

TEST_F(CollectCliTest, RefusedArguments) {
  struct Case {
    std::vector<std::string> arguments;
    int exit;
    const char* message;
  };
  const fs::path missing = m_runDir / "none.txt";
  const fs::path empty = m_runDir / "empty.txt";
  writeBytes(empty, "not||a||list\r\n");
  const Case cases[] = {
      {{}, cli::kExitUsage, "usage: mirabex-cli COMMAND"},
      {{"fetch"}, cli::kExitUsage, "unknown command 'fetch'"},
      {{"collect"}, cli::kExitUsage, "--list FILE is required"},
      {{"collect", "--list"}, cli::kExitUsage, "--list needs a value"},
      {{"collect", "--list", "a", "--verbose"}, cli::kExitUsage, "unknown option --verbose"},
      {{"collect", "--list", "a", "b"}, cli::kExitUsage, "unexpected argument b"},
      {{"collect", "--list", missing.string()}, cli::kExitNoItems, "cannot read the item list"},
      {{"collect", "--list", empty.string()}, cli::kExitNoItems, "holds no item"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.arguments), c.exit) << ::testing::PrintToString(c.arguments);
    EXPECT_NE(m_err.str().find(c.message), std::string::npos) << m_err.str();
  }
}

TEST_F(CollectCliTest, HelpListsTheExitStatuses) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--help"}, {"collect", "--help"}}) {
    EXPECT_EQ(run(arguments), cli::kExitOk);
    for (const char* status : {"  0 ", "  2 ", "  3 ", "  4 ", "  5 ", "  130 "}) {
      EXPECT_NE(m_out.str().find(status), std::string::npos) << status << " in\n" << m_out.str();
    }
  }
}

}  // namespace
}  // namespace mirabex
