#include "base/cluster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/byte_message.h"

namespace newsclass {
namespace {

TEST(Cluster, SharesAreConsecutiveCoverTheRangeAndDifferByAtMostOne) {
  for (ArticleRange range : {ArticleRange{1, 120}, ArticleRange{1, 121}, ArticleRange{-5, 3},
                             ArticleRange{7, 9}, ArticleRange{2147483640, 2147483647}}) {
    for (int ranks = 1; ranks <= 5; ++ranks) {
      int64_t next = range.firstId;
      int64_t smallest = INT64_MAX, largest = 0;
      for (int rank = 0; rank < ranks; ++rank) {
        const ArticleRange share = cluster::shareOf(range, rank, ranks);
        EXPECT_EQ(share.firstId, next) << "rank " << rank << " of " << ranks;
        next = static_cast<int64_t>(share.firstId) + share.size();
        smallest = std::min(smallest, share.size());
        largest = std::max(largest, share.size());
      }
      EXPECT_EQ(next, static_cast<int64_t>(range.lastId) + 1);
      EXPECT_LE(largest - smallest, 1);
    }
  }
  // More ranks than ids: the last ranks take none.
  EXPECT_EQ(cluster::shareOf({7, 9}, 3, 4).size(), 0);
  EXPECT_EQ(cluster::shareOf({7, 9}, 2, 4).firstId, 9);
}

TEST(Cluster, AloneEveryExchangeHandsBackTheCallersOwnBytes) {
  ASSERT_FALSE(cluster::distributed());
  EXPECT_EQ(cluster::rank(), 0);
  std::string bytes = "abc";
  cluster::broadcast(bytes);
  EXPECT_EQ(bytes, "abc");
  EXPECT_EQ(cluster::allGather("xyz"), std::vector<std::string>{"xyz"});
  bool called = false;
  cluster::gatherToRoot("q", [&](int, std::string) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(cluster::ownShareOf({1, 10}).lastId, 10);
}

TEST(ByteMessage, ValuesComeBackInOrderAndACutMessageIsRefused) {
  MessageWriter writer;
  writer.put<int32_t>(-7);
  writer.putText(std::string("a\0b", 3));
  writer.put<double>(-0.0);
  const std::string bytes = writer.bytes();
  MessageReader reader(bytes);
  EXPECT_EQ(reader.get<int32_t>(), -7);
  EXPECT_EQ(reader.getText(), std::string_view("a\0b", 3));
  EXPECT_TRUE(std::signbit(reader.get<double>()));
  EXPECT_TRUE(reader.done());
  MessageReader cut(std::string_view(bytes).substr(0, bytes.size() - 1));
  cut.get<int32_t>();
  cut.getText();
  EXPECT_THROW(cut.get<double>(), std::runtime_error);
}

}  // namespace
}  // namespace newsclass
