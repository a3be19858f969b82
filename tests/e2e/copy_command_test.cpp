// mirabex-cli copy and add, run in process against the sandbox as a seller would type them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {
namespace {

sandbox::SandboxServer& sandboxServer() {
  static const std::unique_ptr<sandbox::SandboxServer> server = [] {
    auto started = std::make_unique<sandbox::SandboxServer>();
    if (!started->start(0)) throw std::runtime_error("the sandbox could not listen on loopback");
    return started;
  }();
  return *server;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Records of an RFC 4180 text; quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().push_back(std::move(field));
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      records.back().push_back(std::move(field));
      field.clear();
      records.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !records.back().empty()) records.back().push_back(std::move(field));
  if (records.back().empty()) records.pop_back();
  return records;
}

// The item ids of a layout-5 CSV (three header lines, the ids in "num_id").
std::vector<std::string> csvItemIds(const std::filesystem::path& csv) {
  const std::vector<std::vector<std::string>> records = parseCsv(readFile(csv));
  if (records.size() < 3) return {};
  const auto column = std::find(records[1].begin(), records[1].end(), "num_id");
  if (column == records[1].end()) return {};
  const std::size_t index = static_cast<std::size_t>(column - records[1].begin());
  std::vector<std::string> ids;
  for (std::size_t r = 3; r < records.size(); ++r) {
    if (index < records[r].size()) ids.push_back(records[r][index]);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

class CliRig {
 public:
  CliRig() {
    m_folder = std::filesystem::temp_directory_path() /
               ("mirabex-copy-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(m_folder / "options");
    std::ofstream(m_folder / "options" / "network.ini", std::ios::binary)
        << "[route]\r\nconnect_to=" << sandboxServer().address() << "\r\n";
  }
  ~CliRig() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  CliRig(const CliRig&) = delete;
  CliRig& operator=(const CliRig&) = delete;

  int run(std::vector<std::string> arguments) {
    arguments.push_back("--options");
    arguments.push_back((m_folder / "options").string());
    out.str({});
    err.str({});
    CommandContext context{.out = out, .err = err, .errIsTerminal = false, .runDirectory = m_folder.string()};
    return CliApp().run(arguments, context);
  }

  std::filesystem::path path(const std::string& name) const { return m_folder / name; }

  std::ostringstream out;
  std::ostringstream err;

 private:
  std::filesystem::path m_folder;
};

struct CopyCase {
  std::string name;
  std::string mode;
  std::string address;
  std::vector<std::string> ids;  // what the CSV must hold
};

std::vector<CopyCase> copyCases() {
  const sandbox::Catalogue& catalogue = sandboxServer().catalogue();
  std::vector<CopyCase> cases;
  for (const char* host : {"shop1001.taobao.com", "shop1002.taobao.com", "shop1003.taobao.com", "shop1004.taobao.com"}) {
    const sandbox::SandboxShop& shop = *catalogue.shopByHost(host);
    std::vector<std::string> ids;
    for (const std::string& id : shop.itemIds) {
      if (std::find(shop.linksEndingAtId.begin(), shop.linksEndingAtId.end(), id) == shop.linksEndingAtId.end()) {
        ids.push_back(id);
      }
    }
    cases.push_back({shop.host.substr(0, shop.host.find('.')), "店铺", "http://" + shop.host + "/", ids});
  }
  const sandbox::SandboxCategory& category = catalogue.shopByHost("shop1001.taobao.com")->categories.front();
  cases.push_back({"category" + category.id, "category", category.exampleAddress, category.itemIds});
  cases.push_back({"item", "单品", "http://item.taobao.com/item.htm?id=30000000007", {"30000000007"}});
  for (CopyCase& c : cases) std::sort(c.ids.begin(), c.ids.end());
  return cases;
}

class CopyCommandTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyCommandTest, CopiesEveryItemAtTheAddressIntoTheCsv) {
  const CopyCase& c = GetParam();
  CliRig rig;
  const std::filesystem::path csv = rig.path("out.csv");
  ASSERT_EQ(rig.run({"copy", "--mode", c.mode, c.address, "--save", csv.string()}), kExitOk) << rig.err.str();
  EXPECT_EQ(csvItemIds(csv), c.ids);
  EXPECT_NE(rig.out.str().find("找到宝贝： " + std::to_string(c.ids.size()) + "\n"), std::string::npos) << rig.out.str();
  EXPECT_NE(rig.out.str().find("csv: " + csv.string() + "\n"), std::string::npos) << rig.out.str();
  EXPECT_NE(rig.out.str().find("pictures: " + rig.path("out").string()), std::string::npos) << rig.out.str();
  EXPECT_TRUE(std::filesystem::is_directory(rig.path("out")));
  // The crawl's log reaches the terminal in UTF-8.
  if (c.mode != "单品") {
    EXPECT_NE(rig.err.str().find("宝贝下载完成 【共提取了："), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Sandbox, CopyCommandTest, ::testing::ValuesIn(copyCases()),
                         [](const ::testing::TestParamInfo<CopyCase>& info) { return info.param.name; });

TEST(CopyCommand, RefusesBadArgumentsAndEndsWhenNothingIsFound) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* message;
  } cases[] = {
      {"no mode", {"copy", "http://shop1002.taobao.com/"}, kExitUsage, "--mode MODE is required"},
      {"unknown mode", {"copy", "--mode", "all", "http://shop1002.taobao.com/"}, kExitUsage, "unknown mode 'all'"},
      {"no address", {"copy", "--mode", "shop"}, kExitUsage, "exactly one ADDRESS is required"},
      {"empty shop", {"copy", "--mode", "shop", "http://shop1005.taobao.com/"}, kExitNoItems, "no item was found"},
      {"item address as shop", {"copy", "--mode", "店铺", "http://item.taobao.com/item.htm?id=1"}, kExitNoItems,
       "店铺地址输入不正确，未识别到宝贝！"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRig rig;
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--save", rig.path("out.csv").string()});
    EXPECT_EQ(rig.run(arguments), c.status);
    EXPECT_NE(rig.err.str().find(c.message), std::string::npos) << rig.err.str();
    EXPECT_FALSE(std::filesystem::exists(rig.path("out.csv")));
  }
}

TEST(AddCommand, AppendsToTheListFileAndCreatesAMissingOne) {
  CliRig rig;
  const std::filesystem::path list = rig.path("list.txt");
  ASSERT_EQ(rig.run({"add", "--mode", "item", "http://item.taobao.com/item.htm?id=30000000001", "--list",
                     list.string()}),
            kExitOk)
      << rig.err.str();
  EXPECT_EQ(rig.out.str(), "added: 1\nrows: 1\nlist: " + list.string() + "\n");

  ASSERT_EQ(rig.run({"add", "--mode", "列表", "http://shop1002.taobao.com/category-7002.htm", "--list", list.string()}),
            kExitOk)
      << rig.err.str();
  EXPECT_EQ(rig.out.str(), "added: 6\nrows: 7\nlist: " + list.string() + "\n");
  const std::string text = readFile(list);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
  // The single item keeps the address as typed and no price: title||id||||address.
  EXPECT_EQ(text.rfind(utf8ToGbk(sandboxServer().catalogue().item("30000000001")->titleUtf8 +
                                 "-淘宝网||30000000001||||http://item.taobao.com/item.htm?id=30000000001\r\n"),
                       0),
            0u);
  EXPECT_NE(text.find("||30000000101||"), std::string::npos);

  // Nothing found: the file stays as it was.
  EXPECT_EQ(rig.run({"add", "--mode", "shop", "http://shop1005.taobao.com/", "--list", list.string()}), kExitFailed);
  EXPECT_EQ(readFile(list), text);
  EXPECT_EQ(rig.run({"add", "--mode", "shop", "http://shop1002.taobao.com/"}), kExitUsage);
}

}  // namespace
}  // namespace mirabex::cli
