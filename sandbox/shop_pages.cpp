#include "sandbox/shop_pages.h"

#include <algorithm>
#include <cstdlib>

#include "sandbox/sandbox_text.h"
#include "sandbox/web_pages.h"

namespace mirabex::sandbox {
namespace {

// Escapes what would end an attribute or a tag; the crawler takes titles as written.
std::string htmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

bool contains(const std::vector<std::string>& ids, const std::string& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string itemAddress(const std::string& id) {
  return std::string("http://") + Catalogue::kItemHost + "/item.htm?id=" + id;
}

std::string firstPicture(const SandboxItem& item) {
  return item.itemImgUrls.empty() ? std::string() : item.itemImgUrls.front() + "_160x160.jpg";
}

// The "普通" design: the title on a line of its own between the link and its end tag, the price
// line ending right after </strong>.
std::string ordinaryItem(const SandboxShop& shop, const SandboxItem& item) {
  std::string link = shop.linksEndingAtId.end() !=
                             std::find(shop.linksEndingAtId.begin(), shop.linksEndingAtId.end(), item.numIid)
                         ? itemAddress(item.numIid)
                         : itemAddress(item.numIid) + "&amp;ad_id=&amp;am_id=&amp;cm_id=&amp;pm_id=";
  std::string out = "<div class=\"item\">\n";
  out += "<div class=\"pic\"><a href=\"" + itemAddress(item.numIid) + "\" target=\"_blank\"><img src=\"" +
         firstPicture(item) + "\" /></a></div>\n";
  out += "<div class=\"desc\">\n";
  out += "<a target=\"_blank\" href=\"" + link + "\" class=\"permalink\" style=\"\">\n";
  out += htmlEscape(item.titleUtf8) + "\n";
  out += "</a>\n";
  out += "</div>\n";
  if (contains(shop.itemsWithoutPrice, item.numIid)) {
    out += "<div class=\"price\">价格面议</div>\n";
  } else {
    out += "<div class=\"price\"><s>&yen;</s><strong>" + item.price + "</strong>\n</div>\n";
  }
  out += "<div class=\"sales-amount\">最近成交<em>" + std::to_string(std::atoi(item.num.c_str()) % 37) +
         "</em>笔</div>\n";
  out += "</div>\n";
  return out;
}

// The "旺铺" design: one item-name link per line, the price in a c-price span.
std::string wangpuItem(const SandboxShop& shop, const SandboxItem& item) {
  std::string out = "<dl class=\"item\">\n";
  out += "<dt class=\"photo\"><a href=\"" + itemAddress(item.numIid) + "\" target=\"_blank\"><img src=\"" +
         firstPicture(item) + "\" alt=\"" + htmlEscape(item.titleUtf8) + "\" /></a></dt>\n";
  out += "<dd class=\"detail\">\n";
  out += "<a class=\"item-name\" href=\"" + itemAddress(item.numIid) + "\" target=\"_blank\">" +
         htmlEscape(item.titleUtf8) + "</a>\n";
  if (!contains(shop.itemsWithoutPrice, item.numIid)) {
    out +=
        "<div class=\"attribute\"><div class=\"cprice-area\"><span class=\"symbol\">&yen;</span>"
        "<span class=\"c-price\">" +
        item.price + "</span></div></div>\n";
  }
  out += "</dd>\n</dl>\n";
  return out;
}

// The "店铺街" design: the title attribute, then two spaces, then href.
std::string shopStreetItem(const SandboxShop& shop, const SandboxItem& item) {
  std::string out = "<li class=\"item\">\n";
  out += "<div class=\"pic\"><a href=\"" + itemAddress(item.numIid) + "\" target=\"_blank\"><img src=\"" +
         firstPicture(item) + "\" /></a></div>\n";
  out += "<h3 class=\"summary\"><a title=\"" + htmlEscape(item.titleUtf8) + "\"  href=\"" +
         itemAddress(item.numIid) + "\" target=\"_blank\">" + htmlEscape(item.titleUtf8) + "</a></h3>\n";
  if (!contains(shop.itemsWithoutPrice, item.numIid)) {
    out += "<div class=\"price\"><strong>" + item.price + " 元</strong></div>\n";
  }
  out += "</li>\n";
  return out;
}

int pageNumber(const std::vector<std::pair<std::string, std::string>>& query) {
  std::string text = queryValue(query, "pageNum");
  int page = std::atoi(text.c_str());
  return page >= 1 ? page : 1;
}

const SandboxCategory* findCategory(const SandboxShop& shop, const std::string& id, bool byScid) {
  for (const SandboxCategory& category : shop.categories) {
    if (category.id != id) continue;
    // scid= names the shop's own categories, catId= and category-N.htm the other kind.
    if (byScid == (category.form == CategoryForm::Scid)) return &category;
  }
  return nullptr;
}

Reply gbkReply(int status, const std::string& utf8) {
  Reply reply;
  reply.status = status;
  reply.contentType = "text/html; charset=GBK";
  reply.body = toGbk(utf8);
  return reply;
}

}  // namespace

std::string listingPage(const Catalogue& catalogue, const SandboxShop& shop, const std::vector<std::string>& ids,
                        int page, int pageCount, size_t total) {
  // Line feeds only: the "普通" item pattern carries bare line feeds.
  std::string out =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n"
      "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\n"
      "<title>" +
      htmlEscape(shop.nameUtf8) + "-淘宝网</title>\n</head>\n<body>\n";
  out += "<div id=\"shop-search-list\" class=\"shop-search\">\n";
  out +=
      "<div class=\"search-result\">共搜索到<span>" + std::to_string(total) + "</span>个符合条件的商品。</div>\n";
  if (pageCount > 0) {
    out += "<div class=\"pagination\"><span class=\"page-info\">" + std::to_string(page) + "/" +
           std::to_string(pageCount) + "</span></div>\n";
  }
  switch (shop.layout) {
    case PageLayout::Ordinary:
      out += "<div class=\"shop-hesper-bd grid\">\n";
      break;
    case PageLayout::Wangpu:
      out += "<div class=\"item-list\">\n";
      break;
    case PageLayout::ShopStreet:
      out += "<ul class=\"shop-list\">\n";
      break;
  }
  for (const std::string& id : ids) {
    std::optional<SandboxItem> item = catalogue.item(id);
    if (!item) continue;
    switch (shop.layout) {
      case PageLayout::Ordinary:
        out += ordinaryItem(shop, *item);
        break;
      case PageLayout::Wangpu:
        out += wangpuItem(shop, *item);
        break;
      case PageLayout::ShopStreet:
        out += shopStreetItem(shop, *item);
        break;
    }
  }
  out += shop.layout == PageLayout::ShopStreet ? "</ul>\n" : "</div>\n";
  if (ids.empty()) out += "<div class=\"no-result\">没有找到相应的宝贝</div>\n";
  out += "</div>\n</body>\n</html>\n";
  return toGbk(out);
}

bool isCategoryRequest(const Incoming& request) {
  if (startsWith(request.path, "/category-")) return true;
  const auto query = parseQuery(request.query);
  return request.path == "/search.htm" && (hasQueryName(query, "scid") || hasQueryName(query, "catId"));
}

Reply shopPageReply(const Catalogue& catalogue, const SandboxShop& shop, const Incoming& request) {
  const auto query = parseQuery(request.query);
  const int page = pageNumber(query);
  Reply reply;
  reply.contentType = "text/html; charset=GBK";

  const SandboxCategory* category = nullptr;
  bool wantsCategory = isCategoryRequest(request);
  if (startsWith(request.path, "/category-") && endsWith(request.path, ".htm")) {
    std::string id = request.path.substr(10, request.path.size() - 14);
    category = findCategory(shop, id, false);
  } else if (request.path == "/search.htm" && hasQueryName(query, "scid")) {
    category = findCategory(shop, queryValue(query, "scid"), true);
  } else if (request.path == "/search.htm" && hasQueryName(query, "catId")) {
    category = findCategory(shop, queryValue(query, "catId"), false);
  } else if (request.path != "/search.htm" && request.path != "/" && request.path != "/index.htm") {
    return notFoundReply();
  }

  if (wantsCategory) {
    // An unknown category shows an empty result without page info, as the marketplace does.
    if (category == nullptr) {
      reply.body = listingPage(catalogue, shop, {}, page, 0, 0);
    } else {
      reply.body = listingPage(catalogue, shop, shop.pageOf(category->itemIds, page), page, category->pageCount,
                               category->itemIds.size());
    }
    return reply;
  }
  reply.body =
      listingPage(catalogue, shop, shop.pageOf(shop.itemIds, page), page, shop.pageCount, shop.itemIds.size());
  return reply;
}

Reply itemPageReply(const Catalogue& catalogue, const Incoming& request) {
  const auto query = parseQuery(request.query);
  std::optional<SandboxItem> item = catalogue.item(queryValue(query, "id"));
  if (!item) {
    return gbkReply(
        404,
        "<html><head><meta charset=\"gbk\" /><title>宝贝不存在-淘宝网</title></head>\n"
        "<body><div "
        "class=\"error-notice\">很抱歉，您查看的宝贝不存在，可能已下架或者被转移。</div></body></html>\n");
  }
  const bool mall = request.host == Catalogue::kMallHost;
  std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\" />\n";
  // An item without a title gets a page without one, so a probe finds the id but no title.
  if (!item->titleUtf8.empty()) {
    std::string title = item->titleUtf8;
    std::string escaped;
    for (char c : title) {
      if (c == '&')
        escaped += "&amp;";
      else if (c == '<')
        escaped += "&lt;";
      else if (c == '>')
        escaped += "&gt;";
      else
        escaped.push_back(c);
    }
    page += "<title>" + escaped + (mall ? "-tmall.com天猫" : "-淘宝网") + "</title>\n";
  }
  page +=
      "<script type=\"text/javascript\">\n"
      "var g_config = {\n"
      "    shopId:\"" +
      std::to_string(57300000 + std::atoi(item->numIid.substr(7).c_str()) % 1000) +
      "\",\n"
      "    itemId:\"" +
      item->numIid +
      "\",\n"
      "    sibUrl:\"http://detailskip.taobao.com/json/sib.htm?itemId=" +
      item->numIid +
      "&sellerId=1\",\n"
      "    price:\"" +
      item->price +
      "\"\n"
      "};\n</script>\n</head>\n<body>\n";
  page += "<div class=\"tb-detail-hd\"><h3>" + htmlEscape(item->titleUtf8) + "</h3></div>\n";
  page += "<div class=\"tb-price\">&yen;<em>" + item->price + "</em></div>\n";
  page += "</body>\n</html>\n";
  return gbkReply(200, page);
}

}  // namespace mirabex::sandbox
