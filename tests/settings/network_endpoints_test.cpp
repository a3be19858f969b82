#include "settings/network_endpoints.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace mirabex {
namespace {

using NetworkEndpointsTest = TempFolderTest;

TEST_F(NetworkEndpointsTest, MissingFileGivesTheDefaults) {
  const NetworkEndpoints defaults;
  const NetworkEndpoints loaded = loadNetworkEndpoints(m_optionsFolder);
  EXPECT_EQ(loaded.gateway, defaults.gateway);
  EXPECT_EQ(loaded.keyPool, defaults.keyPool);
  EXPECT_EQ(loaded.item, defaults.item);
  EXPECT_EQ(loaded.mall, defaults.mall);
  EXPECT_EQ(loaded.web, defaults.web);
  EXPECT_EQ(loaded.sampleShop, defaults.sampleShop);
  EXPECT_EQ(loaded.connectTo, "");
  EXPECT_EQ(loaded.gatewayUrl(), "http://gw.api.taobao.com/router/rest?");
}

TEST_F(NetworkEndpointsTest, KeysOverrideAndEmptyValuesKeepTheDefault) {
  writeOptionsFile("network.ini",
                   "[hosts]\r\ngateway=gw.sandbox.test:8080\r\nKEY_POOL=cfg.sandbox.test\r\nitem=\r\n"
                   "mall=mall.sandbox.test\r\nweb=web.sandbox.test\r\nsample_shop=http://s.sandbox.test/\r\n"
                   "[Route]\r\nconnect_to=127.0.0.1:40001\r\n");
  const NetworkEndpoints loaded = loadNetworkEndpoints(m_optionsFolder);
  EXPECT_EQ(loaded.gateway, "gw.sandbox.test:8080");
  EXPECT_EQ(loaded.keyPool, "cfg.sandbox.test");
  EXPECT_EQ(loaded.item, NetworkEndpoints().item);
  EXPECT_EQ(loaded.mall, "mall.sandbox.test");
  EXPECT_EQ(loaded.web, "web.sandbox.test");
  EXPECT_EQ(loaded.sampleShop, "http://s.sandbox.test/");
  EXPECT_EQ(loaded.connectTo, "127.0.0.1:40001");
  EXPECT_EQ(loaded.gatewayUrl(), "http://gw.sandbox.test:8080/router/rest?");
  EXPECT_EQ(loaded.configServerBase(), "http://cfg.sandbox.test/qelt_api/");
}

}  // namespace
}  // namespace mirabex
