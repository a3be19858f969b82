#pragma once

// Shop search pages, category pages and item pages, in GBK, laid out as the
// marketplace's three shop designs ("普通", "旺铺", "店铺街") write them.

#include <string>
#include <vector>

#include "sandbox/catalogue.h"
#include "sandbox/reply.h"

namespace mirabex::sandbox {

// One search-result page (GBK): the items of `ids`, the total count line and, when pageCount > 0,
// the page info "page/pageCount".
std::string listingPage(const Catalogue& catalogue, const SandboxShop& shop, const std::vector<std::string>& ids,
                        int page, int pageCount, size_t total);

// "/search.htm" (whole shop, or a category by scid= / catId=) and "/category-N.htm" on a shop host.
Reply shopPageReply(const Catalogue& catalogue, const SandboxShop& shop, const Incoming& request);
// True when the request names a category rather than the whole shop.
bool isCategoryRequest(const Incoming& request);

// "/item.htm?id=N" on the item-page host or the mall's.
Reply itemPageReply(const Catalogue& catalogue, const Incoming& request);

}  // namespace mirabex::sandbox
