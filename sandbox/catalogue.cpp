#include "sandbox/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {
namespace {

constexpr long long kGeneratedBase = 30000000000LL;
constexpr long long kSpecialBase = 20000000000LL;

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::string money(long long cents) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld.%02lld", cents / 100, cents % 100);
  return buffer;
}

std::string specialId(int n) { return std::to_string(kSpecialBase + n); }

// Item ids of the generated range [first, last].
std::vector<std::string> generatedIds(int first, int last) {
  std::vector<std::string> ids;
  for (int i = first; i <= last; ++i) ids.push_back(Catalogue::generatedItemId(i));
  return ids;
}

int pagesFor(size_t count, int perPage) { return static_cast<int>((count + perPage - 1) / perPage); }

struct ShopRange {
  int first;
  int last;
  const char* host;
};

// Which shop lists a generated item; kept beside buildShops() so that the two agree.
constexpr std::array<ShopRange, 5> kShopRanges{{
    {1, 60, "shop1001.taobao.com"},
    {101, 112, "shop1002.taobao.com"},
    {1001, 1490, "shop1003.taobao.com"},
    {201, 210, "shop1004.taobao.com"},
    {301, 318, "shop.sandbox.test"},
}};

const char* const kTitleWords[] = {
    "韩版修身雪纺连衣裙", "纯棉圆领短袖T恤",  "头层牛皮男士钱包", "儿童益智拼装积木",
    "304不锈钢保温杯",    "无线蓝牙运动耳机", "加厚珊瑚绒四件套", "复古帆布双肩背包",
};

struct Place {
  const char* state;
  const char* city;
};
const Place kPlaces[] = {{"浙江", "杭州"}, {"广东", "广州"}, {"上海", "上海"}, {"江苏", "苏州"}, {"福建", "泉州"}};

const char* const kPictureHosts[] = {"img01.taobaocdn.com", "img02.taobaocdn.com", "img03.taobaocdn.com",
                                     "img04.taobaocdn.com"};

// Colour values of the sales property 1627207 and their names, for skus and property pictures.
struct Colour {
  const char* value;
  const char* name;
};
const Colour kColours[] = {{"28320", "白色"}, {"28341", "黑色"}, {"28326", "红色"}};

}  // namespace

std::vector<std::string> SandboxShop::pageOf(const std::vector<std::string>& ids, int page) const {
  std::vector<std::string> out;
  if (page < 1 || itemsPerPage <= 0) return out;
  size_t begin = static_cast<size_t>(page - 1) * static_cast<size_t>(itemsPerPage);
  for (size_t i = begin; i < ids.size() && i < begin + static_cast<size_t>(itemsPerPage); ++i) {
    out.push_back(ids[i]);
  }
  return out;
}

Catalogue::Catalogue(std::uint32_t seed) : m_seed(seed) {
  for (int i = 1; i <= 5; ++i) {
    std::string secret =
        toLowerAscii(md5UpperHex("sandbox-secret/" + std::to_string(seed) + "/" + std::to_string(i)));
    m_keyPairs.push_back({std::to_string(12000000 + i), secret});
  }
  buildSpecialItems();
  buildShops();
}

std::string Catalogue::generatedItemId(int index) { return std::to_string(kGeneratedBase + index); }

std::optional<SandboxItem> Catalogue::item(std::string_view numIid) const {
  for (const SandboxItem& special : m_specialItems) {
    if (special.numIid == numIid) return special;
  }
  if (numIid.size() != 11 || numIid.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  long long value = std::stoll(std::string(numIid));
  long long index = value - kGeneratedBase;
  if (index < 1 || index > kGeneratedCount) return std::nullopt;
  return generatedItem(static_cast<int>(index));
}

SandboxItem Catalogue::generatedItem(int index) const {
  std::uint64_t r = mix((static_cast<std::uint64_t>(m_seed) << 32) ^ static_cast<std::uint64_t>(index));
  auto next = [&r]() {
    r = mix(r);
    return r;
  };
  SandboxItem it;
  it.numIid = generatedItemId(index);
  it.titleUtf8 = std::string("沙盒宝贝") + std::to_string(index) + "号 " + kTitleWords[next() % 8];
  it.cid = std::to_string(50010000 + next() % 900);
  it.sellerCids = "," + std::to_string(300000000 + next() % 1000) + ",";
  const Place& place = kPlaces[next() % 5];
  it.locationStateUtf8 = place.state;
  it.locationCityUtf8 = place.city;
  it.price = money(static_cast<long long>(next() % 50000 + 100));
  it.num = std::to_string(next() % 500 + 1);
  it.validThru = (index % 2 == 0) ? "14" : "7";
  it.freightPayer = (index % 3 == 0) ? "seller" : "buyer";
  it.emsFee = "20.00";
  it.expressFee = "10.00";
  it.postFee = "8.00";
  it.listTime = "2013-04-20 10:12:30";
  it.delistTime = "2013-04-27 10:12:30";
  it.modified = "2013-04-25 07:42:46";
  it.props = "20000:" + std::to_string(3000 + next() % 100) + ";1627207:28320";
  it.approveStatus = "onsale";
  it.hasWarranty = (index % 2 == 0) ? "true" : "false";
  it.hasDiscount = "false";
  it.hasInvoice = "false";
  it.hasShowcase = "false";
  it.postageId = "0";
  it.detailUrl = "http://item.taobao.com/item.htm?id=" + it.numIid + "&spm=2014.12000001.0.0";
  it.rawAmpersandInDetailUrl = index % 5 == 0;

  int skuCount = static_cast<int>(index % 4);
  for (int s = 0; s < skuCount; ++s) {
    Sku sku;
    sku.skuId = std::to_string(4000000000LL + static_cast<long long>(index) * 10 + s);
    sku.price = it.price;
    sku.quantity = std::to_string(next() % 200);
    sku.outerId = (s == 0) ? "" : "G" + std::to_string(index) + "-" + std::to_string(s);
    sku.properties = std::string("1627207:") + kColours[s].value + ";20509:28314";
    it.skus.push_back(sku);
  }
  const char* host = kPictureHosts[index % 4];
  int mainCount = 1 + static_cast<int>(next() % 3);
  for (int p = 1; p <= mainCount; ++p) {
    const char* ext = (p == 2) ? "png" : (p == 3 ? "gif" : "jpg");
    it.itemImgUrls.push_back(std::string("http://") + host + "/bao/uploaded/i" + std::to_string(index % 4 + 1) +
                             "/" + it.numIid + "_" + std::to_string(p) + "." + ext);
  }
  for (int s = 0; s < skuCount && s < 2; ++s) {
    PropImg img;
    img.id = std::to_string(700000000LL + static_cast<long long>(index) * 10 + s);
    img.position = std::to_string(s);
    img.url = std::string("http://") + host + "/bao/uploaded/i1/" + it.numIid + "_p" + std::to_string(s) + ".jpg";
    img.properties = std::string("1627207:") + kColours[s].value;
    it.propImgs.push_back(img);
  }
  it.descUtf8 = std::string("<p>") + kTitleWords[index % 8] +
                "，实物拍摄,&nbsp;放心购买。</p><p><img src=\"http://" + host + "/imgextra/i2/" + it.numIid +
                "_d1.jpg\" /></p>";
  for (const ShopRange& range : kShopRanges) {
    if (index >= range.first && index <= range.last) it.shopHost = range.host;
  }
  it.purpose = "generated";
  return it;
}

void Catalogue::buildSpecialItems() {
  auto base = [](int n) {
    SandboxItem it;
    it.numIid = specialId(n);
    it.cid = "50010850";
    it.sellerCids = ",301,302,";
    it.locationStateUtf8 = "浙江";
    it.locationCityUtf8 = "杭州";
    it.price = "99.00";
    it.num = "100";
    it.validThru = "7";
    it.freightPayer = "buyer";
    it.emsFee = "20.00";
    it.expressFee = "12.00";
    it.postFee = "8.00";
    it.listTime = "2013-04-20 10:12:30";
    it.delistTime = "2013-04-27 10:12:30";
    it.modified = "2013-04-25 07:42:46";
    it.props = "20000:3275069;1627207:28320";
    it.approveStatus = "onsale";
    it.hasWarranty = "true";
    it.hasDiscount = "false";
    it.hasInvoice = "false";
    it.hasShowcase = "false";
    it.postageId = "0";
    it.detailUrl = "http://item.taobao.com/item.htm?id=" + it.numIid + "&spm=a1z10.1.w4004";
    it.shopHost = "shop.sandbox.test";
    return it;
  };
  auto sku = [](std::string id, std::string price, std::string quantity, std::string outer, std::string props) {
    return Sku{std::move(id), std::move(price), std::move(quantity), std::move(outer), std::move(props)};
  };

  {
    SandboxItem it = base(1);
    it.titleUtf8 = "2013新款 韩版修身雪纺连衣裙";
    it.price = "128.00";
    it.num = "300";
    it.skus = {sku("5000000011", "128.00", "100", "LYQ-W", "1627207:28320;20509:28314"),
               sku("5000000012", "128.00", "80", "LYQ-B", "1627207:28341;20509:28314"),
               sku("5000000013", "138.00", "120", "LYQ-R", "1627207:28326;20509:28315")};
    it.itemImgUrls = {"http://img01.taobaocdn.com/bao/uploaded/i1/20000000001_1.jpg",
                      "http://img02.taobaocdn.com/bao/uploaded/i2/20000000001_2.png"};
    it.propImgs = {
        {"800000011", "0", "http://img03.taobaocdn.com/bao/uploaded/i3/20000000001_p1.gif", "1627207:28320"}};
    it.descUtf8 =
        "<p><IMG src=\"http://img01.taobaocdn.com/imgextra/i1/20000000001_d1.jpg\" align=\"absmiddle\"></p>\r\n"
        "<p><img src=\"http://img03.taobaocdn.com/imgextra/i3/20000000001_d2.png\" /></p>\r\n"
        "<table><tr><td background=\"http://img02.taobaocdn.com/imgextra/i2/20000000001_bg.gif\">"
        "尺码,颜色,面料&nbsp;说明</td></tr></table>";
    it.purpose = "three skus, main and property pictures, <IMG and <img tags, a background picture";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(2);
    it.titleUtf8 = "A&amp;B.C?D*E";
    it.freightPayer = "seller";
    it.approveStatus = "instock";
    it.hasWarranty = "false";
    it.props = "20000:3275069;1627207:28320;";
    it.itemImgUrls = {"http://img02.taobaocdn.com/bao/uploaded/i2/20000000002_1.jpg"};
    it.descUtf8 = "<p>说明：\"正品\" 保证, it's new</p>";
    it.purpose = "title clean-up (&amp; . ? *), no skus, seller pays freight, instock, props ending in ;";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(3);
    it.titleUtf8 = "Tom&Jerry 14\" 笔记本包 |*| 防震";
    it.freightPayer = "";
    it.approveStatus = "";
    it.hasWarranty = "";
    it.props = "";
    it.skus = {sku("5000000031", "99.00", "5", "", "1627207:28341")};
    it.itemImgUrls = {"http://img03.taobaocdn.com/bao/uploaded/i3/20000000003_1.jpg"};
    it.propImgs = {
        {"800000031", "0", "http://img03.taobaocdn.com/bao/uploaded/i3/20000000003_p1.jpg", "1627207:28341"}};
    it.descUtf8 = "<div>14寸 &lt;防震&gt; 内胆包</div>";
    it.rawAmpersandInDetailUrl = true;
    it.purpose = "raw & and a lone double quote and |*| in the title, one sku, empty codes, raw & in detail_url";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(4);
    it.titleUtf8 = "";
    it.itemImgUrls = {"http://img04.taobaocdn.com/bao/uploaded/i4/20000000004_1.jpg"};
    it.descUtf8 = "<p>无标题宝贝</p>";
    it.purpose = "empty title (no CSV row); its item page has no <title>";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(5);
    it.titleUtf8 = "纯棉T恤 三色可选";
    it.price = "10.00";
    it.skus = {sku("5000000051", "10.00", "7", "T-W", "1627207:28320"),
               sku("5000000052", "12.50", "8", "T-B", "1627207:28341"),
               sku("5000000053", "15.00", "9", "T-R", "1627207:28326")};
    it.itemImgUrls = {"http://img01.taobaocdn.com/bao/uploaded/i1/20000000005_1.jpg",
                      "http://img01.taobaocdn.com/bao/uploaded/i1/20000000005_2.jpg"};
    it.propImgs = {
        {"800000051", "0", "http://img02.taobaocdn.com/bao/uploaded/i2/20000000005_p1.jpg", "1627207:28320"},
        {"800000052", "1", "http://img02.taobaocdn.com/bao/uploaded/i2/20000000005_p2.jpg", "1627207:28341"}};
    it.descUtf8 = "<p>三色可选</p>";
    it.purpose = "price 10.00 with three skus (scaling once per item and per sku)";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(6);
    it.titleUtf8 = "手工陶瓷茶具套装";
    it.itemImgUrls = {"http://img.alicdn.com/bao/uploaded/i4/20000000006_1.jpg"};
    it.descUtf8 =
        "<p><img src=\"http://img.alicdn.com/imgextra/i4/20000000006_a.jpg\"></p>"
        "<p><IMG src=\"http://img01.taobaocdn.com/imgextra/i1/20000000006_same.jpg\"></p>"
        "<p><img src=\"http://img01.taobaocdn.com/imgextra/i1/20000000006_same.jpg\"></p>"
        "<p><img src=\"http://img02.taobaocdn.com/imgextra/图片/茶具详情.jpg\"></p>"
        "<p><img src=\"http://img02.taobaocdn.com/imgextra/i2/20000000006_q.jpg?w=750&amp;h=1000\"></p>"
        "<div background=\"http://gd2.alicdn.com/imgextra/i2/20000000006_bg.png\">茶</div>";
    it.purpose = "picture hosts with and without taobao, the same address twice, Chinese and amp; in addresses";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(7);
    it.titleUtf8 = "坏图测试 宝贝";
    it.itemImgUrls = {"http://img02.taobaocdn.com/missing/20000000007_1.jpg",
                      "http://img02.taobaocdn.com/empty/20000000007_2.jpg"};
    it.descUtf8 =
        "<p><img src=\"http://img03.taobaocdn.com/unknown/20000000007_x.jpg\"></p>"
        "<p><img src=\"http://img04.taobaocdn.com/empty/20000000007_e.jpg\"></p>"
        "<p><img src=\"http://img01.taobaocdn.com/missing/20000000007_m.jpg\"></p>"
        "<table background=\"http://img04.taobaocdn.com/empty/20000000007_bg.jpg\"></table>";
    it.purpose = "pictures of an unknown type, empty bodies and 404s (main and description)";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(8);
    it.titleUtf8 = "位图与动图 宝贝";
    it.freightPayer = "free";
    it.itemImgUrls = {"http://img03.taobaocdn.com/bao/uploaded/i3/20000000008_1.bmp",
                      "http://img03.taobaocdn.com/bao/uploaded/i3/20000000008_2.gif"};
    it.descUtf8 = "<p><img src=\"http://img04.taobaocdn.com/imgextra/i4/20000000008_d1.bmp\"></p>";
    it.rawAmpersandInDetailUrl = true;
    it.purpose = "BMP and GIF pictures, an unusual freight_payer value, raw & in detail_url";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(9);
    it.titleUtf8 = "自定义属性 宝贝";
    it.locationStateUtf8 = "广东";
    it.locationCityUtf8 = "东莞";
    it.inputPids = "20000,13021751";
    it.inputStrUtf8 = "自有品牌,X9";
    it.outerId = "SJ-0009";
    it.propertyAliasUtf8 = "1627207:28320:象牙白;1627207:28341:曜石黑";
    it.skus = {sku("5000000091", "99.00", "3", "", "1627207:28320"),
               sku("5000000092", "109.00", "4", "SJ-0009-B", "1627207:28341")};
    it.itemImgUrls = {"http://img04.taobaocdn.com/bao/uploaded/i4/20000000009_1.jpg"};
    it.descUtf8 = "<p>自定义属性</p>";
    it.purpose = "input_pids, input_str, outer_id, property_alias, a sku with an empty outer_id";
    m_specialItems.push_back(it);
  }
  {
    SandboxItem it = base(10);
    it.titleUtf8 = "天猫旗舰店 正品保障 羽绒服";
    it.tmall = true;
    it.price = "599.00";
    it.detailUrl = "http://detail.tmall.com/item.htm?id=" + it.numIid + "&spm=a220o.1000855.0.0";
    it.itemImgUrls = {"http://img01.taobaocdn.com/bao/uploaded/i1/20000000010_1.jpg"};
    it.descUtf8 = "<p><img src=\"http://img01.taobaocdn.com/imgextra/i1/20000000010_d1.jpg\"></p>";
    it.purpose = "a mall item (page on detail.tmall.com)";
    m_specialItems.push_back(it);
  }
}

void Catalogue::buildShops() {
  auto category = [](std::string id, CategoryForm form, std::string name, std::vector<std::string> ids,
                     const std::string& host) {
    SandboxCategory c;
    c.id = std::move(id);
    c.form = form;
    c.nameUtf8 = std::move(name);
    c.itemIds = std::move(ids);
    c.pageCount = pagesFor(c.itemIds.size(), 20);
    switch (form) {
      case CategoryForm::Scid:
        c.exampleAddress = "http://" + host + "/search.htm?search=y&scid=" + c.id + "&viewType=grid";
        break;
      case CategoryForm::CatId:
        c.exampleAddress = "http://" + host + "/search.htm?search=y&catId=" + c.id + "&orderType=_hotsell";
        break;
      case CategoryForm::CategoryPath:
        c.exampleAddress = "http://" + host + "/category-" + c.id + ".htm";
        break;
    }
    return c;
  };
  auto shop = [](std::string host, PageLayout layout, std::string name, std::vector<std::string> ids,
                 std::string purpose) {
    SandboxShop s;
    s.host = std::move(host);
    s.layout = layout;
    s.nameUtf8 = std::move(name);
    s.itemIds = std::move(ids);
    s.pageCount = pagesFor(s.itemIds.size(), s.itemsPerPage);
    s.purpose = std::move(purpose);
    return s;
  };

  SandboxShop s1 = shop("shop1001.taobao.com", PageLayout::Ordinary, "沙盒女装店", generatedIds(1, 60),
                        "\"普通\" layout, 3 pages, one category of each address form");
  s1.categories = {category("5001", CategoryForm::Scid, "连衣裙", generatedIds(1, 25), s1.host),
                   category("6001", CategoryForm::CatId, "T恤", generatedIds(26, 45), s1.host),
                   category("7001", CategoryForm::CategoryPath, "外套", generatedIds(46, 60), s1.host)};
  m_shops.push_back(s1);

  SandboxShop s2 = shop("shop1002.taobao.com", PageLayout::Wangpu, "沙盒数码旺铺", generatedIds(101, 112),
                        "\"旺铺\" layout, exactly one page");
  s2.categories = {category("7002", CategoryForm::CategoryPath, "耳机", generatedIds(101, 106), s2.host)};
  m_shops.push_back(s2);

  SandboxShop s3 = shop("shop1003.taobao.com", PageLayout::ShopStreet, "沙盒家居店铺街", generatedIds(1001, 1490),
                        "\"店铺街\" layout, 25 pages (the last one short)");
  s3.categories = {category("5003", CategoryForm::Scid, "四件套", generatedIds(1001, 1100), s3.host),
                   category("6003", CategoryForm::CatId, "抱枕", generatedIds(1101, 1110), s3.host)};
  m_shops.push_back(s3);

  SandboxShop s4 = shop("shop1004.taobao.com", PageLayout::Ordinary, "沙盒杂货铺", generatedIds(201, 210),
                        "\"普通\" layout, one page with fewer prices than items and a link ending at its id");
  s4.itemsWithoutPrice = {generatedItemId(204)};
  s4.linksEndingAtId = {generatedItemId(207)};
  m_shops.push_back(s4);

  m_shops.push_back(
      shop("shop1005.taobao.com", PageLayout::Wangpu, "沙盒空店", {}, "no items: no page info on its pages"));

  std::vector<std::string> sampleIds;
  for (const SandboxItem& special : m_specialItems) sampleIds.push_back(special.numIid);
  for (const std::string& id : generatedIds(301, 318)) sampleIds.push_back(id);
  m_shops.push_back(shop("shop.sandbox.test", PageLayout::Wangpu, "沙盒样板店", sampleIds,
                         "the sample shop: every special item, then generated ones; 2 pages"));
}

const SandboxShop* Catalogue::shopByHost(std::string_view host) const {
  for (const SandboxShop& shop : m_shops) {
    if (shop.host == host) return &shop;
  }
  return nullptr;
}

bool Catalogue::isPictureHost(std::string_view host) {
  static const char* const kHosts[] = {"img01.taobaocdn.com", "img02.taobaocdn.com", "img03.taobaocdn.com",
                                       "img04.taobaocdn.com", "img.alicdn.com",      "gd2.alicdn.com"};
  return std::any_of(std::begin(kHosts), std::end(kHosts), [host](const char* h) { return host == h; });
}

PictureKind Catalogue::pictureKindOf(std::string_view path) {
  if (path.find("/missing/") != std::string_view::npos) return PictureKind::Missing;
  if (path.find("/empty/") != std::string_view::npos) return PictureKind::Empty;
  if (path.find("/unknown/") != std::string_view::npos) return PictureKind::Unknown;
  std::string lower = toLowerAscii(path);
  if (endsWith(lower, ".jpg") || endsWith(lower, ".jpeg")) return PictureKind::Jpeg;
  if (endsWith(lower, ".png")) return PictureKind::Png;
  if (endsWith(lower, ".gif")) return PictureKind::Gif;
  if (endsWith(lower, ".bmp")) return PictureKind::Bmp;
  return PictureKind::Missing;
}

}  // namespace mirabex::sandbox
