// The receive ring alone: exact single-threaded cases at its edges, then one producer thread
// against uneven reads.
#include "serial/receive_ring.h"

#include <array>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>

namespace veltra::serial::test {
namespace {

std::string Bytes(int nCount, int nFrom) {
  std::string c(static_cast<std::size_t>(nCount), '\0');
  for (int i = 0; i < nCount; ++i) {
    c[static_cast<std::size_t>(i)] = static_cast<char>((nFrom + i) % 253);
  }
  return c;
}

std::string TakeAll(ReceiveRing& oRing, int nMax) {
  std::string c(static_cast<std::size_t>(nMax), '\0');
  c.resize(static_cast<std::size_t>(oRing.Take(c.data(), nMax)));
  return c;
}

TEST(ReceiveRing, EmptyFullAndWrapAreExact) {
  ReceiveRing oRing;
  EXPECT_EQ(oRing.Used(), 0);
  EXPECT_EQ(TakeAll(oRing, 10), "") << "an empty ring gives nothing";

  // Full: one slot short of the array, and nothing more fits.
  const std::string cFull = Bytes(ReceiveRing::kCapacity, 0);
  oRing.Append(cFull.data(), ReceiveRing::kCapacity);
  EXPECT_EQ(oRing.Used(), 2047);
  EXPECT_EQ(oRing.Free(), 0);
  EXPECT_EQ(TakeAll(oRing, 5), cFull.substr(0, 5));
  EXPECT_EQ(oRing.Free(), 5);

  // Across the end of the array: the bytes come back whole and in order, in one Take.
  const std::string cWrap = Bytes(5, 7);
  oRing.Append(cWrap.data(), 5);
  EXPECT_EQ(oRing.Used(), 2047);
  EXPECT_EQ(TakeAll(oRing, 4000), cFull.substr(5) + cWrap);
  EXPECT_EQ(oRing.Used(), 0);

  // The positions stay inside the array however often they go round.
  for (int n = 0; n < 3 * ReceiveRing::kSize; n += 700) {
    const std::string c = Bytes(700, n);
    oRing.Append(c.data(), 700);
    ASSERT_EQ(oRing.Used(), 700);
    ASSERT_EQ(TakeAll(oRing, 300) + TakeAll(oRing, 1000), c);
  }
}

// The ring alone, with a real producer thread and uneven reads.
TEST(ReceiveRing, ConcurrentProducerAndConsumerKeepOrder) {
  ReceiveRing oRing;
  EXPECT_EQ(oRing.Free(), 2047);
  constexpr int kTotal = 1000000;
  std::thread oProducer([&] {
    std::mt19937 oRandom(9);
    std::array<char, 1023> aChunk{};
    for (int nSent = 0; nSent < kTotal;) {
      const int n =
          std::min({static_cast<int>(1 + oRandom() % 1023), oRing.Free(), kTotal - nSent});
      for (int i = 0; i < n; ++i) {
        aChunk[static_cast<std::size_t>(i)] = static_cast<char>((nSent + i) % 251);
      }
      oRing.Append(aChunk.data(), n);
      nSent += n;
    }
  });
  std::mt19937 oRandom(10);
  std::array<char, 3000> aOut{};
  int nGot = 0;
  bool lInOrder = true;
  while (nGot < kTotal) {
    const int n = oRing.Take(aOut.data(), static_cast<int>(1 + oRandom() % aOut.size()));
    for (int i = 0; i < n; ++i) {
      lInOrder =
          lInOrder && aOut[static_cast<std::size_t>(i)] == static_cast<char>((nGot + i) % 251);
    }
    nGot += n;
  }
  oProducer.join();
  EXPECT_TRUE(lInOrder);
  EXPECT_EQ(oRing.Used(), 0);
}

} // namespace
} // namespace veltra::serial::test
