#include "itemlist/crawl_state.h"

#include "toolkit/gbk_codec.h"

namespace mirabex {

const Text& singleItemModeWord() {
  static const Text word = utf8ToGbk("单品");
  return word;
}

const Text& categoryModeWord() {
  static const Text word = utf8ToGbk("列表");
  return word;
}

const Text& shopModeWord() {
  static const Text word = utf8ToGbk("店铺");
  return word;
}

int PageClaims::claim() {
  int current = m_claimed.load();
  while (current < m_pageTotal) {
    if (m_claimed.compare_exchange_weak(current, current + 1)) return current + 1;
  }
  return 0;
}

}  // namespace mirabex
