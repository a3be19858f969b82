#pragma once

#include <mutex>
#include <vector>

#include "toolkit/gbk_text.h"

namespace mirabex {

// One row of the item list: four GBK cells, empty where nothing was set.
struct ItemRow {
  Text title;
  Text price;
  Text itemUrl;
  Text itemId;

  bool operator==(const ItemRow&) const = default;
};

// Column indexes of the list, in display order.
inline constexpr int kTitleColumn = 0;
inline constexpr int kPriceColumn = 1;
inline constexpr int kItemUrlColumn = 2;
inline constexpr int kItemIdColumn = 3;
inline constexpr int kItemColumnCount = 4;

// Told about every change, after it is made and with the list unlocked, in the order the changes
// were made. Notices come on the thread that made the change; an observer must not change the list
// or add/remove observers from inside a notice (reading it is fine), and must not wait for another
// thread that may be changing the list.
class ItemListObserver {
 public:
  virtual ~ItemListObserver() = default;
  virtual void rowsAppended(int first, int count) = 0;
  virtual void rowRemoved(int index) = 0;
  virtual void cleared() = 0;
};

// The queue of items to collect, shared by the window, the page crawlers and the collection
// workers. Every single operation is atomic and safe from any thread; a sequence of them is not.
// Rows are addressed by their 0-based position.
class ItemList {
 public:
  ItemList() = default;
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;

  // Appends at the end; returns the new row's index.
  int append(ItemRow row);
  // Appends all rows in one step; returns the index of the first (the old count).
  int appendRows(std::vector<ItemRow> rows);
  // False when there is no such row.
  bool remove(int index);
  // Removes the first row from the top whose title equals `title`, ASCII letter case ignored;
  // returns its former index, or -1 when no row matches.
  int removeFirstWithTitle(const Text& title);
  void clear();

  int count() const;
  // The cell's text; empty for a row or column that does not exist.
  Text cell(int row, int column) const;
  // A copy of the row; an empty row when it does not exist.
  ItemRow row(int index) const;
  // A copy of every row, taken at one moment.
  std::vector<ItemRow> rows() const;

  // The observer is not owned; removeObserver returns only when no notice to it is in progress.
  void addObserver(ItemListObserver* observer);
  void removeObserver(ItemListObserver* observer);

 private:
  template <typename Notify>
  void notifyAll(Notify notify);

  // Held across a change and its notices, so that observers see changes in the order they were
  // made; readers never take it.
  std::mutex m_changeMutex;
  mutable std::mutex m_rowsMutex;
  std::vector<ItemRow> m_rows;
  std::vector<ItemListObserver*> m_observers;  // under m_changeMutex
};

}  // namespace mirabex
