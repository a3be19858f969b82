#pragma once

// The sandbox's deterministic marketplace: items, shops with their categories,
// the key pool and the picture addresses. The seed varies the generated items
// and the key secrets; the special items and the shop layouts never change, so
// that tests can name them. Texts are UTF-8 unless a name says otherwise.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirabex::sandbox {

struct Sku {
  std::string skuId;
  std::string price;  // as the gateway writes it, "12.50"
  std::string quantity;
  std::string outerId;
  std::string properties;  // "1627207:28320;20509:28314"
};

struct PropImg {
  std::string id;
  std::string position;
  std::string url;         // full address, "http://..."
  std::string properties;  // "1627207:28320"
};

struct SandboxItem {
  std::string numIid;
  std::string titleUtf8;  // raw; the gateway escapes it
  std::string cid;
  std::string sellerCids;
  std::string locationStateUtf8;
  std::string locationCityUtf8;
  std::string price;  // "128.00"
  std::string num;
  std::string validThru;
  std::string freightPayer;  // "buyer", "seller", empty or another word
  std::string emsFee;
  std::string expressFee;
  std::string postFee;
  std::string listTime;
  std::string delistTime;
  std::string modified;
  std::string props;
  std::string approveStatus;  // "onsale", "instock" or empty
  std::string hasWarranty;    // "true" / "false"
  std::string hasDiscount;
  std::string hasInvoice;
  std::string hasShowcase;
  std::string inputPids;
  std::string inputStrUtf8;
  std::string outerId;
  std::string propertyAliasUtf8;
  std::string postageId;
  std::string detailUrl;
  bool rawAmpersandInDetailUrl = false;  // written unescaped, as the real gateway now and then does
  std::vector<Sku> skus;
  std::vector<std::string> itemImgUrls;  // full addresses, document order
  std::vector<PropImg> propImgs;
  std::string descUtf8;  // the seller's HTML; the gateway entity-escapes it
  std::string shopHost;  // the shop that lists it; empty for none
  bool tmall = false;    // its item page lives on the mall's host
  std::string purpose;   // what the item exercises
};

enum class PageLayout {
  Ordinary,    // "普通"
  Wangpu,      // "旺铺"
  ShopStreet,  // "店铺街"
};

// How a category address names the category: "&scid=N&", "&catId=N&" or ".../category-N.htm".
enum class CategoryForm { Scid, CatId, CategoryPath };

struct SandboxCategory {
  std::string id;
  CategoryForm form = CategoryForm::Scid;
  std::string nameUtf8;
  std::vector<std::string> itemIds;
  int pageCount = 0;
  std::string exampleAddress;  // an address a user would type for it
};

struct SandboxShop {
  std::string host;
  PageLayout layout = PageLayout::Ordinary;
  std::string nameUtf8;
  std::vector<std::string> itemIds;  // in listing order
  int itemsPerPage = 20;
  int pageCount = 0;  // 0 for a shop without items: its pages carry no page info
  std::vector<SandboxCategory> categories;
  std::vector<std::string> itemsWithoutPrice;  // listed without a price element
  std::vector<std::string> linksEndingAtId;    // "普通" links without "&" after the id
  std::string purpose;

  // The ids listed on page `page` (from 1) of `ids`; empty past the last page.
  std::vector<std::string> pageOf(const std::vector<std::string>& ids, int page) const;
};

struct KeyPair {
  std::string appKey;
  std::string appSecret;
};

// What a picture address serves.
enum class PictureKind { Jpeg, Png, Gif, Bmp, Unknown, Empty, Missing };

class Catalogue {
 public:
  explicit Catalogue(std::uint32_t seed);

  std::uint32_t seed() const { return m_seed; }

  // The hand-made items, ids 20000000001 upward.
  const std::vector<SandboxItem>& items() const { return m_specialItems; }
  // Any special id, or any generated id (30000000001 .. 30000100000).
  std::optional<SandboxItem> item(std::string_view numIid) const;
  static std::string generatedItemId(int index);  // index 1 .. kGeneratedCount
  static constexpr int kGeneratedCount = 100000;

  const std::vector<SandboxShop>& shops() const { return m_shops; }
  const SandboxShop* shopByHost(std::string_view host) const;

  const std::vector<KeyPair>& keyPairs() const { return m_keyPairs; }

  // Hosts that serve pictures; some contain "taobao", some do not.
  static bool isPictureHost(std::string_view host);
  // By the address's path (decoded, any encoding): "/missing/" 404, "/empty/" empty body,
  // "/unknown/" bytes of no known type, else by extension .jpg/.jpeg/.png/.gif/.bmp; other paths 404.
  static PictureKind pictureKindOf(std::string_view path);

  // Item-page hosts of the marketplace and of the mall.
  static constexpr const char* kItemHost = "item.taobao.com";
  static constexpr const char* kMallHost = "detail.tmall.com";

 private:
  SandboxItem generatedItem(int index) const;
  void buildSpecialItems();
  void buildShops();

  std::uint32_t m_seed;
  std::vector<SandboxItem> m_specialItems;
  std::vector<SandboxShop> m_shops;
  std::vector<KeyPair> m_keyPairs;
};

}  // namespace mirabex::sandbox
