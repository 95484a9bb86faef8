// When a kept list of interfaces is walked again: after a notice, when it
// has grown old, and on every walk once the source of notices has shown
// itself silent.
#include "device/listing_freshness.h"

#include <gtest/gtest.h>

namespace {

using device::ListingFreshness;
using namespace std::chrono_literals;

TEST(ListingFreshness, ASilentSourceIsFoundOutByTheCheckAndThenEveryWalkHappens) {
    ListingFreshness freshness(true);
    ListingFreshness::Clock::time_point now{};
    ASSERT_TRUE(freshness.walkNeeded(now));
    freshness.walkEnded(true, true);

    // Kept until it is old, unless a notice comes.
    EXPECT_FALSE(freshness.walkNeeded(now += 1s));
    freshness.interfaceChanged();
    EXPECT_TRUE(freshness.walkNeeded(now += 1s));
    freshness.walkEnded(true, true);
    EXPECT_FALSE(freshness.walkNeeded(now += ListingFreshness::kCheckEvery - 1s));

    // The check finds nothing changed: the source stays trusted.
    EXPECT_TRUE(freshness.walkNeeded(now += 1s));
    freshness.walkEnded(true, false);
    EXPECT_TRUE(freshness.announced());
    EXPECT_FALSE(freshness.walkNeeded(now += 1s));

    // A device came that no notice told of.
    EXPECT_TRUE(freshness.walkNeeded(now += ListingFreshness::kCheckEvery));
    freshness.walkEnded(true, true);
    EXPECT_FALSE(freshness.announced());
    EXPECT_TRUE(freshness.walkNeeded(now += 1ms));
}

}  // namespace
