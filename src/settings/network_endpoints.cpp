#include "settings/network_endpoints.h"

#include <array>

#include "toolkit/file_system.h"
#include "toolkit/ini_file.h"

namespace mirabex {

Text NetworkEndpoints::gatewayUrl() const { return "http://" + gateway + "/router/rest?"; }

Text NetworkEndpoints::configServerBase() const { return "http://" + keyPool + "/qelt_api/"; }

NetworkEndpoints loadNetworkEndpoints(const Text& optionsFolder) {
  struct Key {
    std::string_view section;
    std::string_view key;
    Text NetworkEndpoints::*field;
  };
  static constexpr std::array<Key, 7> kKeys{{
      {"hosts", "gateway", &NetworkEndpoints::gateway},
      {"hosts", "key_pool", &NetworkEndpoints::keyPool},
      {"hosts", "item", &NetworkEndpoints::item},
      {"hosts", "mall", &NetworkEndpoints::mall},
      {"hosts", "web", &NetworkEndpoints::web},
      {"hosts", "sample_shop", &NetworkEndpoints::sampleShop},
      {"route", "connect_to", &NetworkEndpoints::connectTo},
  }};
  NetworkEndpoints endpoints;
  const IniFile file = IniFile::load(joinPath(optionsFolder, "network.ini"));
  // An empty value counts as absent, so a half-filled file never blanks a host.
  for (const Key& key : kKeys) {
    Text value = file.value(key.section, key.key);
    if (!value.empty()) endpoints.*key.field = std::move(value);
  }
  return endpoints;
}

}  // namespace mirabex
