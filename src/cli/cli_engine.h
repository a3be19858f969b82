#pragma once

#include <memory>

#include "settings/network_endpoints.h"
#include "settings/options.h"
#include "toolkit/gbk_text.h"
#include "toolkit/http_client.h"
#include "topapi/app_key_pool.h"

namespace mirabex::cli {

// What every engine command loads first: the settings and hosts of the options folder,
// an HTTP client routed as network.ini says, and the key pool.
class CliEngine {
 public:
  // Reads options.ini and network.ini from `optionsFolder` (GBK); missing files give the defaults.
  explicit CliEngine(Text optionsFolder);
  CliEngine(const CliEngine&) = delete;
  CliEngine& operator=(const CliEngine&) = delete;

  // Downloads the key pool from the configured server; false when it holds no pair.
  bool loadKeyPool();

  const Text& optionsFolder() const { return m_optionsFolder; }
  const Options& options() const { return m_options; }
  const NetworkEndpoints& endpoints() const { return m_endpoints; }
  const HttpClient& http() const { return m_http; }
  AppKeyPool& pool() { return m_pool; }

 private:
  Text m_optionsFolder;
  Options m_options;
  NetworkEndpoints m_endpoints;
  HttpClient m_http;
  AppKeyPool m_pool;
};

// <runDirectory>/options
Text defaultOptionsFolder(const Text& runDirectory);
// The window's default save path: <runDirectory>/csv<Unix time in seconds>.csv
Text defaultSavePath(const Text& runDirectory, const Clock& clock);
// "预定信息 加载失败，请重新启动--" (GBK), what an empty key pool ends the program with.
const Text& keyPoolFailedMessage();

}  // namespace mirabex::cli
