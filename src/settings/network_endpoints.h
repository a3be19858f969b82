#pragma once

#include "toolkit/gbk_text.h"

namespace mirabex {

// The hosts that options/network.ini names, with the built-in defaults used for
// a missing file or key. A host may carry a port.
struct NetworkEndpoints {
  Text gateway = "gw.api.taobao.com";
  Text keyPool = "127.0.0.1:18080";
  Text item = "item.taobao.com";
  Text mall = "detail.tmall.com";
  Text web = "127.0.0.1:18080";
  Text sampleShop = "http://shop.sandbox.test/";
  // host:port; when set every connection goes there, URLs and Host headers unchanged.
  Text connectTo;

  // "http://" + gateway + "/router/rest?"
  Text gatewayUrl() const;
  // "http://" + keyPool + "/qelt_api/"
  Text configServerBase() const;
};

// Reads <optionsFolder>/network.ini (optionsFolder is GBK text, no trailing separator).
NetworkEndpoints loadNetworkEndpoints(const Text& optionsFolder);

}  // namespace mirabex
