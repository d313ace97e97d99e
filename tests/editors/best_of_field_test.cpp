// The composition style window's count of candidate melodies: kept in the session, held to
// 1..1000.
#include <gtest/gtest.h>

#include "editors/style_select.h"
#include "support/test_support.h"

namespace vema {
namespace {

TEST(StyleSelectBestOf, TheCountGoesToTheSessionWithinItsRange) {
  testing::TestSession ts;
  Session& session = *ts.session;
  session.bestOf = 7;
  StyleSelect window(session.Editors());
  EXPECT_EQ(window.BestOf(), 7);
  const std::pair<int, int> cases[] = {{16, 16}, {1, 1}, {1000, 1000}, {1001, 1000},
                                       {0, 1},   {-5, 1}, {250, 250}};
  for (const auto& [typed, kept] : cases) {
    EXPECT_EQ(window.SetBestOf(typed), kept) << typed;
    EXPECT_EQ(session.bestOf, kept) << typed;
    EXPECT_EQ(window.BestOf(), kept) << typed;
  }
  EXPECT_TRUE(ts.platform.messages.empty());
}

}  // namespace
}  // namespace vema
