// Parsing a gateway item response and reading the fields a worker reads, against pugixml on the
// same bytes. Run: xml_document_bench (Release build).
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstring>
#include <string>

#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

constexpr const char* kBaobei = "\xB1\xA6\xB1\xB4";  // 宝贝

const char* const kItemFields[] = {"title",      "cid",           "seller_cids", "price",          "num",
                                   "valid_thru", "freight_payer", "ems_fee",     "express_fee",    "post_fee",
                                   "list_time",  "props",         "modified",    "approve_status", "has_warranty",
                                   "input_pids", "input_str",     "outer_id",    "property_alias", "desc"};

// An item_get_response of about `targetBytes`: an entity-escaped description takes two thirds,
// skus and pictures the rest.
std::string makeItemResponse(std::size_t targetBytes) {
  std::string out = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<item_get_response><item>";
  for (const char* field : kItemFields) {
    if (std::string(field) == "desc") continue;
    out += std::string("<") + field + ">" + kBaobei + " value of " + field + "</" + field + ">";
  }
  out += "<location><state>" + std::string(kBaobei) + "</state><city>" + kBaobei + "</city></location>";

  out += "<desc>";
  const std::string paragraph =
      "&lt;p&gt;&lt;img src=&quot;http://img.example/imgextra/i1/T1abc.jpg&quot; "
      "align=&quot;absmiddle&quot;&gt;" +
      std::string(kBaobei) + " &amp; more text&lt;/p&gt;\r\n";
  while (out.size() < targetBytes * 2 / 3) out += paragraph;
  out += "</desc>";

  const std::size_t skuBytes = targetBytes - targetBytes / 6;
  out += "<skus>";
  for (int i = 1; out.size() < skuBytes; ++i) {
    const std::string n = std::to_string(i);
    out += "<sku><sku_id>" + n + "</sku_id><price>" + n + ".00</price><quantity>" + n +
           "</quantity><outer_id>SKU-" + n + "</outer_id><properties>1627207:" + n +
           ";20509:28314</properties>"
           "<created>2013-04-25 07:42:46</created></sku>";
  }
  out += "</skus><item_imgs>";
  for (int i = 1; i <= 5; ++i) {
    out += "<item_img><id>" + std::to_string(i) + "</id><url>http://img.example/bao/" + std::to_string(i) +
           ".jpg</url><position>" + std::to_string(i) + "</position></item_img>";
  }
  out += "</item_imgs><prop_imgs>";
  for (int i = 1; out.size() < targetBytes - 64; ++i) {
    out += "<prop_img><properties>1627207:" + std::to_string(i) + "</properties><url>http://img.example/p/" +
           std::to_string(i) + ".jpg</url></prop_img>";
  }
  out += "</prop_imgs></item></item_get_response>";
  return out;
}

// Reads what a worker reads: every item field, every sku by position, every picture address.
std::size_t readWithXmlDocument(const XmlDocument& document) {
  std::size_t total = 0;
  const std::string item = "item_get_response/item/";
  for (const char* field : kItemFields) total += document.text(item + field).size();
  total += document.text(item + "location/state").size() + document.text(item + "location/city").size();
  const int skus = document.countChildren(item + "skus");
  for (int i = skus; i >= 1; --i) {
    const std::string sku = item + "skus/@" + std::to_string(i);
    for (const char* field : {"/price", "/quantity", "/outer_id", "/properties"}) {
      total += document.text(sku + field).size();
    }
  }
  for (const std::string list : {"item_imgs", "prop_imgs"}) {
    const int count = document.countChildren(item + list);
    for (int i = 1; i <= count; ++i)
      total += document.text(item + list + "/@" + std::to_string(i) + "/url").size();
  }
  return total;
}

std::size_t readWithPugixml(const pugi::xml_document& document) {
  std::size_t total = 0;
  const pugi::xml_node item = document.child("item_get_response").child("item");
  for (const char* field : kItemFields) total += std::strlen(item.child(field).child_value());
  total += std::strlen(item.child("location").child("state").child_value());
  total += std::strlen(item.child("location").child("city").child_value());
  for (const pugi::xml_node sku : item.child("skus").children()) {
    for (const char* field : {"price", "quantity", "outer_id", "properties"}) {
      total += std::strlen(sku.child(field).child_value());
    }
  }
  for (const char* list : {"item_imgs", "prop_imgs"}) {
    for (const pugi::xml_node entry : item.child(list).children()) {
      total += std::strlen(entry.child("url").child_value());
    }
  }
  return total;
}

constexpr std::size_t kResponseBytes = 100 * 1024;

void BM_XmlDocumentLoadAndRead(benchmark::State& state) {
  const std::string response = makeItemResponse(kResponseBytes);
  XmlDocument document;  // reused, as a worker does
  for (auto _ : state) {
    benchmark::DoNotOptimize(document.load(response));
    benchmark::DoNotOptimize(readWithXmlDocument(document));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * response.size()));
}
BENCHMARK(BM_XmlDocumentLoadAndRead);

void BM_PugixmlLoadAndRead(benchmark::State& state) {
  const std::string response = makeItemResponse(kResponseBytes);
  for (auto _ : state) {
    pugi::xml_document document;
    benchmark::DoNotOptimize(document.load_buffer(response.data(), response.size()));
    benchmark::DoNotOptimize(readWithPugixml(document));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * response.size()));
}
BENCHMARK(BM_PugixmlLoadAndRead);

// The queries alone: a worker asks dozens of paths per response.
void BM_XmlDocumentRead(benchmark::State& state) {
  XmlDocument document;
  document.load(makeItemResponse(kResponseBytes));
  for (auto _ : state) benchmark::DoNotOptimize(readWithXmlDocument(document));
}
BENCHMARK(BM_XmlDocumentRead);

// The load alone at growing sizes: the fitted complexity should come out as O(N).
void BM_XmlDocumentLoadScaling(benchmark::State& state) {
  const std::string response = makeItemResponse(static_cast<std::size_t>(state.range(0)));
  XmlDocument document;
  for (auto _ : state) benchmark::DoNotOptimize(document.load(response));
  state.SetComplexityN(static_cast<std::int64_t>(response.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * response.size()));
}
BENCHMARK(BM_XmlDocumentLoadScaling)->RangeMultiplier(4)->Range(16 << 10, 1 << 20)->Complexity(benchmark::oN);

}  // namespace
}  // namespace mirabex

BENCHMARK_MAIN();
