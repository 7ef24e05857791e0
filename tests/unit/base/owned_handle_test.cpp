#include "base/owned_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/scope_exit.h"

namespace imptherm {
namespace {

std::vector<int> closed;

struct CountedTraits {
  using Handle = int;
  static int Invalid() { return -1; }
  static void Close(int h) { closed.push_back(h); }
};
using Counted = OwnedHandle<CountedTraits>;

TEST(OwnedHandleTest, EveryHandleIsGivenBackOnceByItsLastOwner) {
  closed.clear();
  {
    Counted none;
    EXPECT_FALSE(none);
    Counted a(3);
    Counted b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 3);
    Counted c(4);
    c = std::move(b);  // gives 4 back, takes 3
    EXPECT_EQ(closed, std::vector<int>{4});
    Counted d(5);
    EXPECT_EQ(d.Release(), 5);  // handed over: never closed here
    c.Reset(6);                 // gives 3 back
  }
  EXPECT_EQ(closed, (std::vector<int>{4, 3, 6}));
}

TEST(ScopeExitTest, RunsAtTheEndOfItsScopeUnlessReleased) {
  int runs = 0;
  {
    const ScopeExit kept([&] { ++runs; });
    ScopeExit dropped([&] { runs += 10; });
    dropped.Release();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace imptherm
