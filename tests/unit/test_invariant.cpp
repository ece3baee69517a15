// INVARIANT is active exactly in the checking builds (TAVEX_CHECKS: the
// sanitizer and collector-stress trees) and costs nothing elsewhere.
#include "image/invariant.h"

#include <gtest/gtest.h>

namespace {

#ifdef TAVEX_CHECKS
TEST(Invariant, ABrokenInvariantAbortsWithItsConditionAndPlace) {
    int n = 0;
    INVARIANT(++n == 1);   // evaluated once, holds
    EXPECT_EQ(n, 1);
    EXPECT_DEATH(INVARIANT(n == 2), "test_invariant.cpp:[0-9]+: invariant broken: n == 2");
}
#else
TEST(Invariant, ReleaseBuildsDoNotEvaluateTheCondition) {
    int n = 0;
    INVARIANT(++n == 5);
    EXPECT_EQ(n, 0);
}
#endif

}  // namespace
