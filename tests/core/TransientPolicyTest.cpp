#include "core/TransientPolicy.h"

#include <gtest/gtest.h>

using namespace tivela;
using Action = TransientPolicy::Action;
using Context = TransientPolicy::Context;

namespace {
const Context open{true, false, false};
const Context pinned{true, true, false};
const Context sheet{true, false, true};
const Context hidden{false, false, false};
} // namespace

TEST(TransientPolicyTest, PressArmsAndReleaseOutsideCloses) {
    TransientPolicy policy;
    EXPECT_EQ(policy.pressedOutside(open), Action::keep);
    EXPECT_TRUE(policy.closeOnRelease);
    EXPECT_EQ(policy.released(false, open), Action::close);
    EXPECT_FALSE(policy.closeOnRelease);
}

TEST(TransientPolicyTest, ReleaseInsideDisarms) {
    TransientPolicy policy;
    policy.pressedOutside(open);
    EXPECT_EQ(policy.released(true, open), Action::keep);
    EXPECT_EQ(policy.released(false, open), Action::keep);
}

TEST(TransientPolicyTest, PinnedOrSheetKeepsThePopover) {
    TransientPolicy policy;
    EXPECT_EQ(policy.pressedOutside(pinned), Action::keep);
    EXPECT_FALSE(policy.closeOnRelease);
    EXPECT_EQ(policy.released(false, pinned), Action::keep);

    policy.pressedOutside(open);
    EXPECT_EQ(policy.released(false, pinned), Action::keep); // pinned before the release
    EXPECT_FALSE(policy.closeOnRelease);

    EXPECT_EQ(policy.otherAppActivated(false, sheet), Action::keep);
    EXPECT_EQ(policy.escape(false, sheet), Action::keep);
    EXPECT_EQ(policy.otherAppActivated(false, hidden), Action::keep);
}

TEST(TransientPolicyTest, OtherApplicationClosesAtOnceOrAtTheRelease) {
    TransientPolicy policy;
    EXPECT_EQ(policy.otherAppActivated(false, open), Action::close);
    EXPECT_FALSE(policy.closeOnRelease);
    EXPECT_EQ(policy.otherAppActivated(true, open), Action::keep);
    EXPECT_TRUE(policy.closeOnRelease);
    EXPECT_EQ(policy.released(false, open), Action::close);
    EXPECT_EQ(policy.otherAppActivated(true, pinned), Action::keep);
    EXPECT_FALSE(policy.closeOnRelease);
}

TEST(TransientPolicyTest, EscapeNeverTouchesTheFlagAndWaitsForComposition) {
    TransientPolicy policy;
    policy.pressedOutside(open);
    EXPECT_EQ(policy.escape(true, open), Action::keep);
    EXPECT_EQ(policy.escape(false, open), Action::close);
    EXPECT_TRUE(policy.closeOnRelease);
    policy.closed();
    EXPECT_EQ(policy, TransientPolicy{});
}
