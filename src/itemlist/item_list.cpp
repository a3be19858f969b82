#include "itemlist/item_list.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace mirabex {

template <typename Notify>
void ItemList::notifyAll(Notify notify) {
  for (ItemListObserver* observer : m_observers) {
    notify(*observer);
  }
}

int ItemList::append(ItemRow row) {
  std::lock_guard change(m_changeMutex);
  int index = 0;
  {
    std::lock_guard lock(m_rowsMutex);
    index = static_cast<int>(m_rows.size());
    m_rows.push_back(std::move(row));
  }
  notifyAll([index](ItemListObserver& observer) { observer.rowsAppended(index, 1); });
  return index;
}

int ItemList::appendRows(std::vector<ItemRow> rows) {
  std::lock_guard change(m_changeMutex);
  int first = 0;
  const int added = static_cast<int>(rows.size());
  {
    std::lock_guard lock(m_rowsMutex);
    first = static_cast<int>(m_rows.size());
    std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
  }
  if (added > 0) {
    notifyAll([first, added](ItemListObserver& observer) { observer.rowsAppended(first, added); });
  }
  return first;
}

bool ItemList::remove(int index) {
  std::lock_guard change(m_changeMutex);
  {
    std::lock_guard lock(m_rowsMutex);
    if (index < 0 || index >= static_cast<int>(m_rows.size())) {
      return false;
    }
    m_rows.erase(m_rows.begin() + index);
  }
  notifyAll([index](ItemListObserver& observer) { observer.rowRemoved(index); });
  return true;
}

int ItemList::removeFirstWithTitle(const Text& title) {
  std::lock_guard change(m_changeMutex);
  int index = -1;
  {
    std::lock_guard lock(m_rowsMutex);
    const Text wanted = toLowerAscii(title);
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [&wanted](const ItemRow& row) { return toLowerAscii(row.title) == wanted; });
    if (found == m_rows.end()) {
      return -1;
    }
    index = static_cast<int>(found - m_rows.begin());
    m_rows.erase(found);
  }
  notifyAll([index](ItemListObserver& observer) { observer.rowRemoved(index); });
  return index;
}

void ItemList::clear() {
  std::lock_guard change(m_changeMutex);
  {
    std::lock_guard lock(m_rowsMutex);
    m_rows.clear();
  }
  notifyAll([](ItemListObserver& observer) { observer.cleared(); });
}

int ItemList::count() const {
  std::lock_guard lock(m_rowsMutex);
  return static_cast<int>(m_rows.size());
}

Text ItemList::cell(int row, int column) const {
  std::lock_guard lock(m_rowsMutex);
  if (row < 0 || row >= static_cast<int>(m_rows.size())) {
    return {};
  }
  const ItemRow& item = m_rows[static_cast<std::size_t>(row)];
  switch (column) {
    case kTitleColumn:
      return item.title;
    case kPriceColumn:
      return item.price;
    case kItemUrlColumn:
      return item.itemUrl;
    case kItemIdColumn:
      return item.itemId;
    default:
      return {};
  }
}

ItemRow ItemList::row(int index) const {
  std::lock_guard lock(m_rowsMutex);
  if (index < 0 || index >= static_cast<int>(m_rows.size())) {
    return {};
  }
  return m_rows[static_cast<std::size_t>(index)];
}

std::vector<ItemRow> ItemList::rows() const {
  std::lock_guard lock(m_rowsMutex);
  return m_rows;
}

void ItemList::addObserver(ItemListObserver* observer) {
  if (observer == nullptr) {
    return;
  }
  std::lock_guard change(m_changeMutex);
  if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
    m_observers.push_back(observer);
  }
}

void ItemList::removeObserver(ItemListObserver* observer) {
  std::lock_guard change(m_changeMutex);
  std::erase(m_observers, observer);
}

}  // namespace mirabex
