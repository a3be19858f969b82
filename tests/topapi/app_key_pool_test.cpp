#include "topapi/app_key_pool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirabex {
namespace {

std::vector<std::pair<Text, Text>> pairsOf(const AppKeyPool& pool) {
  std::vector<std::pair<Text, Text>> pairs;
  for (int i = 1; i <= pool.pairCount(); ++i) {
    pairs.emplace_back(pool.pair(i).appKey, pool.pair(i).appSecret);
  }
  return pairs;
}

TEST(AppKeyPoolDocument, Shapes) {
  using Pairs = std::vector<std::pair<Text, Text>>;
  struct Case {
    const char* what;
    const char* body;
    Pairs pairs;
  };
  const Case cases[] = {
      {"pairs in document order, element names not looked at",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?><apps><app appkey=\"k1\" appsecret=\"s1\"/>"
       "<key appsecret=\"s2\" appkey=\"k2\"></key><app appkey=\"k3\" appsecret=\"s3\" note=\"x\"/></apps>",
       {{"k1", "s1"}, {"k2", "s2"}, {"k3", "s3"}}},
      {"a missing attribute leaves that member empty and the pair in",
       "<apps><app appkey=\"k1\"/><app appsecret=\"s2\"/><app/></apps>",
       {{"k1", ""}, {"", "s2"}, {"", ""}}},
      {"grandchildren are not pairs",
       "<apps><app appkey=\"k1\" appsecret=\"s1\"><app appkey=\"x\"/></app></apps>",
       {{"k1", "s1"}}},
      {"root without children", "<apps></apps>", {}},
      {"not XML", "Service Unavailable", {}},
      {"nothing fetched", "", {}},
  };
  for (const Case& c : cases) {
    AppKeyPool pool;
    EXPECT_EQ(pool.loadDocument(c.body), !c.pairs.empty()) << c.what;
    EXPECT_EQ(pairsOf(pool), c.pairs) << c.what;
    EXPECT_EQ(pool.currentIndex(), 1) << c.what;
  }
}

TEST(AppKeyPoolDocument, ReloadReplacesThePairsAndResetsTheIndex) {
  AppKeyPool pool;
  ASSERT_TRUE(pool.loadDocument("<a><b appkey=\"1\" appsecret=\"1\"/><b appkey=\"2\" appsecret=\"2\"/></a>"));
  pool.setCurrentIndex(2);
  EXPECT_FALSE(pool.loadDocument("<a/>"));
  EXPECT_TRUE(pool.empty());
  EXPECT_EQ(pool.currentIndex(), 1);
}

TEST(AppKeyPoolDocument, PairOutOfRangeIsEmpty) {
  AppKeyPool pool(std::vector<AppKeyPair>{{"k", "s"}});
  for (int index : {0, 2, -1}) {
    EXPECT_EQ(pool.pair(index).appKey, "") << index;
    EXPECT_EQ(pool.pair(index).appSecret, "") << index;
  }
  EXPECT_EQ(pool.pair(1).appKey, "k");
}

}  // namespace
}  // namespace mirabex
