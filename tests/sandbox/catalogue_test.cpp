#include "sandbox/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace mirabex::sandbox {
namespace {

TEST(Catalogue, ResolvesSpecialAndGeneratedIdsOnly) {
  struct Case {
    const char* id;
    bool found;
  };
  const Case cases[] = {
      {"20000000001", true},   {"20000000010", true},
      {"20000000011", false},  {"30000000001", true},
      {"30000100000", true},   {"30000100001", false},
      {"30000000000", false},  {"3000000000a", false},
      {"030000000001", false}, {"", false},
  };
  Catalogue catalogue(1);
  for (const Case& tc : cases) {
    std::optional<SandboxItem> item = catalogue.item(tc.id);
    EXPECT_EQ(item.has_value(), tc.found) << tc.id;
    if (item) {
      EXPECT_EQ(item->numIid, tc.id);
    }
  }
}

TEST(Catalogue, TheSeedSelectsGeneratedItemsAndSecrets) {
  Catalogue one(1), again(1), other(2);
  EXPECT_EQ(one.item("30000000042")->price, again.item("30000000042")->price);
  EXPECT_EQ(one.keyPairs()[0].appSecret, again.keyPairs()[0].appSecret);
  EXPECT_NE(one.keyPairs()[0].appSecret, other.keyPairs()[0].appSecret);
  int differing = 0;
  for (int i = 1; i <= 10; ++i) {
    std::string id = Catalogue::generatedItemId(i);
    if (one.item(id)->price != other.item(id)->price) ++differing;
  }
  EXPECT_GT(differing, 0);
  // The special items do not move with the seed.
  EXPECT_EQ(one.item("20000000001")->price, other.item("20000000001")->price);
}

TEST(Catalogue, ShopsListItemsThatPointBackAtThem) {
  Catalogue catalogue(3);
  for (const SandboxShop& shop : catalogue.shops()) {
    SCOPED_TRACE(shop.host);
    EXPECT_EQ(catalogue.shopByHost(shop.host), &shop);
    EXPECT_EQ(shop.pageCount, static_cast<int>((shop.itemIds.size() + 19) / 20));
    std::set<std::string> listed(shop.itemIds.begin(), shop.itemIds.end());
    for (const std::string& id : shop.itemIds) {
      std::optional<SandboxItem> item = catalogue.item(id);
      ASSERT_TRUE(item) << id;
      EXPECT_EQ(item->shopHost, shop.host) << id;
    }
    for (const SandboxCategory& category : shop.categories) {
      for (const std::string& id : category.itemIds) EXPECT_TRUE(listed.count(id)) << category.id << " " << id;
    }
  }
  EXPECT_EQ(catalogue.shopByHost("shop9999.taobao.com"), nullptr);
}

TEST(Catalogue, HoldsWhatTheEngineMustCopeWith) {
  Catalogue catalogue(1);
  const auto& shops = catalogue.shops();
  const auto& items = catalogue.items();
  auto anyShop = [&](const std::function<bool(const SandboxShop&)>& test) {
    return std::any_of(shops.begin(), shops.end(), test);
  };
  auto anyItem = [&](const std::function<bool(const SandboxItem&)>& test) {
    return std::any_of(items.begin(), items.end(), test);
  };
  auto anyCategory = [&](CategoryForm form) {
    return anyShop([form](const SandboxShop& s) {
      return std::any_of(s.categories.begin(), s.categories.end(), [form](auto& c) { return c.form == form; });
    });
  };
  auto titleHas = [&](const char* text) {
    return anyItem([text](const SandboxItem& i) { return i.titleUtf8.find(text) != std::string::npos; });
  };
  auto descHas = [&](const char* text) {
    return anyItem([text](const SandboxItem& i) { return i.descUtf8.find(text) != std::string::npos; });
  };
  const std::pair<const char*, bool> facts[] = {
      {"\"普通\" shop", anyShop([](auto& s) { return s.layout == PageLayout::Ordinary; })},
      {"\"旺铺\" shop", anyShop([](auto& s) { return s.layout == PageLayout::Wangpu; })},
      {"\"店铺街\" shop", anyShop([](auto& s) { return s.layout == PageLayout::ShopStreet; })},
      {"one-page shop", anyShop([](auto& s) { return s.pageCount == 1; })},
      {"25-page shop", anyShop([](auto& s) { return s.pageCount == 25; })},
      {"shop without items", anyShop([](auto& s) { return s.itemIds.empty(); })},
      {"fewer prices than items", anyShop([](auto& s) { return !s.itemsWithoutPrice.empty(); })},
      {"scid category", anyCategory(CategoryForm::Scid)},
      {"catId category", anyCategory(CategoryForm::CatId)},
      {"category-N.htm category", anyCategory(CategoryForm::CategoryPath)},
      {"title with &amp;", titleHas("&amp;")},
      {"title with . ? *", titleHas(".") && titleHas("?") && titleHas("*")},
      {"title with a lone quote and |*|", titleHas("\"") && titleHas("|*|")},
      {"Chinese title", titleHas("连衣裙")},
      {"empty title", anyItem([](auto& i) { return i.titleUtf8.empty(); })},
      {"no skus", anyItem([](auto& i) { return i.skus.empty(); })},
      {"one sku", anyItem([](auto& i) { return i.skus.size() == 1; })},
      {"several skus", anyItem([](auto& i) { return i.skus.size() >= 3; })},
      {"property pictures", anyItem([](auto& i) { return !i.propImgs.empty(); })},
      {"<IMG and <img", descHas("<IMG ") && descHas("<img ")},
      {"background picture", descHas("background=\"http://")},
      {"Chinese in an address", descHas("/图片/")},
      {"amp; in an address", descHas("&amp;h=")},
      {"host without taobao", descHas("http://img.alicdn.com/")},
      {"raw & in detail_url", anyItem([](auto& i) { return i.rawAmpersandInDetailUrl; })},
      {"mall item", anyItem([](auto& i) { return i.tmall; })},
  };
  for (const auto& [what, holds] : facts) EXPECT_TRUE(holds) << what;

  // One description uses the same picture address twice.
  const SandboxItem twice = *catalogue.item("20000000006");
  const std::string address = "http://img01.taobaocdn.com/imgextra/i1/20000000006_same.jpg";
  size_t first = twice.descUtf8.find(address);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(twice.descUtf8.find(address, first + 1), std::string::npos);
}

TEST(Catalogue, PictureKindFollowsThePath) {
  struct Case {
    const char* path;
    PictureKind kind;
  };
  const Case cases[] = {
      {"/a/b.jpg", PictureKind::Jpeg},      {"/a/b.JPEG", PictureKind::Jpeg},
      {"/a/b.png", PictureKind::Png},       {"/a/b.gif", PictureKind::Gif},
      {"/a/b.bmp", PictureKind::Bmp},       {"/unknown/b.jpg", PictureKind::Unknown},
      {"/empty/b.png", PictureKind::Empty}, {"/missing/b.gif", PictureKind::Missing},
      {"/a/b.txt", PictureKind::Missing},   {"/a/b", PictureKind::Missing},
  };
  for (const Case& tc : cases) EXPECT_EQ(Catalogue::pictureKindOf(tc.path), tc.kind) << tc.path;
  EXPECT_TRUE(Catalogue::isPictureHost("img01.taobaocdn.com"));
  EXPECT_TRUE(Catalogue::isPictureHost("img.alicdn.com"));
  EXPECT_FALSE(Catalogue::isPictureHost("item.taobao.com"));
}

}  // namespace
}  // namespace mirabex::sandbox
