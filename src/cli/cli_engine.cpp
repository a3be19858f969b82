#include "cli/cli_engine.h"

#include <utility>

#include "toolkit/file_system.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/text_helpers.h"

namespace mirabex::cli {
namespace {

HttpClientSettings clientSettings(const NetworkEndpoints& endpoints) {
  HttpClientSettings settings;
  settings.connectTo = endpoints.connectTo;
  return settings;
}

}  // namespace

CliEngine::CliEngine(Text optionsFolder)
    : m_optionsFolder(std::move(optionsFolder)),
      m_endpoints(loadNetworkEndpoints(m_optionsFolder)),
      m_http(clientSettings(m_endpoints)) {
  loadOptions(m_optionsFolder, m_options);
}

bool CliEngine::loadKeyPool() { return m_pool.load(m_http, m_endpoints.configServerBase()); }

Text defaultOptionsFolder(const Text& runDirectory) { return joinPath(runDirectory, "options"); }

Text defaultSavePath(const Text& runDirectory, const Clock& clock) {
  return joinPath(runDirectory, "csv" + UnixTimeText(true, clock) + ".csv");
}

const Text& keyPoolFailedMessage() {
  static const Text message = utf8ToGbk("预定信息 加载失败，请重新启动--");
  return message;
}

}  // namespace mirabex::cli
