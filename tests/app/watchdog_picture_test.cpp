#include "app/watchdog_picture.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t Stall = 4000;

PictureWatch::Sample playing(std::int64_t shown) {
    return {true, shown};
}

// The picture must move while the player plays; it may stand still while the player holds
// and for a while after it starts again.
TEST(PictureWatch, ToleratesAStillPictureOnlyWhileThePlayerHoldsOrBriefly) {
    PictureWatch watch(Stall);
    EXPECT_TRUE(watch.healthy(0, playing(1)));
    EXPECT_TRUE(watch.healthy(3000, playing(2)));
    EXPECT_TRUE(watch.healthy(6999, playing(2)));
    EXPECT_FALSE(watch.healthy(7000, playing(2)));
    EXPECT_FALSE(watch.healthy(9000, playing(2)));
    EXPECT_TRUE(watch.healthy(9100, playing(3)));

    // Held at a Sync point or at the end of the range for longer than the stall time.
    EXPECT_TRUE(watch.healthy(10000, {false, 3}));
    EXPECT_TRUE(watch.healthy(60000, {false, 3}));
    // Played again from the held frame: the time counts from the start, not from the hold.
    EXPECT_TRUE(watch.healthy(60001, playing(3)));
    EXPECT_TRUE(watch.healthy(64000, playing(3)));
    EXPECT_FALSE(watch.healthy(64001, playing(3)));

    // A player without a picture to tell (sound only) is never judged by it.
    EXPECT_TRUE(watch.healthy(90000, {true, std::nullopt}));
    EXPECT_TRUE(watch.healthy(99000, {true, std::nullopt}));
}

}  // namespace
