#include "itemlist/item_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace mirabex {
namespace {

ItemRow rowNamed(const Text& title) { return ItemRow{title, "1.00", "http://i/" + title, title + "-id"}; }

// Replays the notices onto a row count of its own, so that a notice out of order or out of range shows.
class CountingObserver : public ItemListObserver {
 public:
  void rowsAppended(int first, int count) override {
    std::lock_guard lock(m_mutex);
    if (first != m_count || count <= 0) {
      ++m_faults;
    }
    m_count += count;
    m_events.push_back("append " + std::to_string(first) + "+" + std::to_string(count));
  }
  void rowRemoved(int index) override {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= m_count) {
      ++m_faults;
    }
    --m_count;
    m_events.push_back("remove " + std::to_string(index));
  }
  void cleared() override {
    std::lock_guard lock(m_mutex);
    m_count = 0;
    m_events.push_back("clear");
  }

  int count() const {
    std::lock_guard lock(m_mutex);
    return m_count;
  }
  int faults() const {
    std::lock_guard lock(m_mutex);
    return m_faults;
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

 private:
  mutable std::mutex m_mutex;
  int m_count = 0;
  int m_faults = 0;
  std::vector<std::string> m_events;
};

TEST(ItemList, CellsByColumnIndex) {
  ItemList list;
  EXPECT_EQ(list.append(ItemRow{"title", "12.50", "http://item/1", "1001"}), 0);
  EXPECT_EQ(list.append(ItemRow{"second", "", "", "1002"}), 1);
  EXPECT_EQ(list.count(), 2);

  const char* const expected[] = {"title", "12.50", "http://item/1", "1001"};
  for (int column = 0; column < kItemColumnCount; ++column) {
    EXPECT_EQ(list.cell(0, column), expected[column]) << column;
  }
  EXPECT_EQ(list.cell(1, kPriceColumn), "");
  EXPECT_EQ(list.row(1), (ItemRow{"second", "", "", "1002"}));
}

TEST(ItemList, MissingRowsAndColumnsReadEmpty) {
  ItemList list;
  list.append(rowNamed("a"));
  for (const auto& [row, column] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, kItemColumnCount}}) {
    EXPECT_EQ(list.cell(row, column), "") << row << "," << column;
  }
  EXPECT_EQ(list.row(5), ItemRow{});
  EXPECT_FALSE(list.remove(1));
  EXPECT_FALSE(list.remove(-1));
  EXPECT_EQ(list.count(), 1);
}

TEST(ItemList, RemoveShiftsLaterRows) {
  ItemList list;
  list.appendRows({rowNamed("a"), rowNamed("b"), rowNamed("c")});
  EXPECT_TRUE(list.remove(1));
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.cell(1, kTitleColumn), "c");
  list.clear();
  EXPECT_EQ(list.count(), 0);
}

TEST(ItemList, RemoveFirstWithTitle) {
  // Two equal titles: the first from the top goes, whichever was meant. Letter case is ignored for
  // ASCII only: 罙 (C1 41) and 羇 (C1 61) differ only by a trail byte that looks like 'A'/'a'.
  ItemList list;
  list.appendRows({rowNamed("Shoe"), rowNamed("\xC1\x41"), rowNamed("shoe"), rowNamed("x")});

  EXPECT_EQ(list.removeFirstWithTitle("SHOE"), 0);
  EXPECT_EQ(list.cell(0, kTitleColumn), "\xC1\x41");
  EXPECT_EQ(list.removeFirstWithTitle("\xC1\x61"), -1);
  EXPECT_EQ(list.removeFirstWithTitle("shoe"), 1);
  EXPECT_EQ(list.removeFirstWithTitle("shoe"), -1);
  EXPECT_EQ(list.count(), 2);
}

TEST(ItemList, NoticesFollowEveryChange) {
  ItemList list;
  CountingObserver observer;
  list.addObserver(&observer);

  list.append(rowNamed("a"));
  list.appendRows({rowNamed("b"), rowNamed("c")});
  list.appendRows({});
  list.remove(0);
  list.remove(9);
  list.removeFirstWithTitle("c");
  list.removeFirstWithTitle("nothing");
  list.clear();

  list.removeObserver(&observer);
  list.append(rowNamed("unseen"));

  EXPECT_EQ(observer.events(),
            (std::vector<std::string>{"append 0+1", "append 1+2", "remove 0", "remove 1", "clear"}));
  EXPECT_EQ(observer.faults(), 0);
}

// An observer that reads the list from inside a notice, as a view model does.
class ReadingObserver : public ItemListObserver {
 public:
  explicit ReadingObserver(const ItemList& list) : m_list(list) {}
  void rowsAppended(int first, int) override { m_lastTitle = m_list.cell(first, kTitleColumn); }
  void rowRemoved(int) override {}
  void cleared() override {}
  Text m_lastTitle;

 private:
  const ItemList& m_list;
};

TEST(ItemList, ObserverMayReadDuringNotice) {
  ItemList list;
  ReadingObserver observer(list);
  list.addObserver(&observer);
  list.append(rowNamed("seen"));
  EXPECT_EQ(observer.m_lastTitle, "seen");
  list.removeObserver(&observer);
}

TEST(ItemList, ManyThreadsAppendReadAndRemove) {
  constexpr int kWriters = 4;
  constexpr int kRowsPerWriter = 300;
  constexpr int kRemovals = 200;

  ItemList list;
  CountingObserver observer;
  list.addObserver(&observer);

  std::atomic<bool> done{false};
  std::atomic<int> tornRows{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&list, w] {
      for (int i = 0; i < kRowsPerWriter; ++i) {
        const Text name = std::to_string(w) + "-" + std::to_string(i);
        if (i % 3 == 0) {
          list.appendRows({rowNamed(name + "a"), rowNamed(name + "b")});
        } else {
          list.append(rowNamed(name));
        }
      }
    });
  }
  // Rows are copied whole: a reader never sees a row with cells from two different rows.
  threads.emplace_back([&] {
    while (!done.load()) {
      const int count = list.count();
      const ItemRow row = list.row(count > 0 ? count - 1 : 0);
      if (!row.title.empty() && row.itemId != row.title + "-id") {
        ++tornRows;
      }
      list.cell(count / 2, kItemUrlColumn);
    }
  });
  threads.emplace_back([&] {
    int removed = 0;
    while (removed < kRemovals) {
      if (list.remove(0)) {
        ++removed;
      } else {
        std::this_thread::yield();
      }
    }
  });

  for (int i = 0; i < kWriters; ++i) {
    threads[static_cast<std::size_t>(i)].join();
  }
  threads.back().join();
  done = true;
  threads[kWriters].join();

  const int appended = kWriters * (kRowsPerWriter + (kRowsPerWriter + 2) / 3);
  EXPECT_EQ(list.count(), appended - kRemovals);
  EXPECT_EQ(observer.count(), list.count());
  EXPECT_EQ(observer.faults(), 0);
  EXPECT_EQ(tornRows.load(), 0);

  std::set<Text> titles;
  for (const ItemRow& row : list.rows()) {
    EXPECT_TRUE(titles.insert(row.title).second) << row.title;
  }
  list.removeObserver(&observer);
}

}  // namespace
}  // namespace mirabex
