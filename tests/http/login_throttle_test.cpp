#include "http/login_throttle.h"

#include <gtest/gtest.h>

#include <string>

namespace tg {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(LoginThrottle, WaitsGrowAfterTheFreeFailuresUpToTheBoundAndSuccessForgets) {
    LoginThrottle throttle;
    auto now = LoginThrottle::Clock::time_point{} + seconds(1000);
    const std::string client = "192.0.2.7";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(throttle.failed(client, now), milliseconds(0));
    EXPECT_EQ(throttle.holdFor(client, now), milliseconds(0));
    const milliseconds expected[] = {milliseconds(1000), milliseconds(2000), milliseconds(4000),
                                     milliseconds(8000), milliseconds(16000), milliseconds(16000)};
    for (const milliseconds wait : expected) {
        EXPECT_EQ(throttle.failed(client, now), wait);
        EXPECT_EQ(throttle.holdFor(client, now), wait);
        EXPECT_EQ(throttle.holdFor("192.0.2.8", now), milliseconds(0));  // others go on
        now += wait;
        EXPECT_EQ(throttle.holdFor(client, now), milliseconds(0));
    }
    throttle.succeeded(client);
    EXPECT_EQ(throttle.size(), 0u);
    EXPECT_EQ(throttle.failed(client, now), milliseconds(0));

    // A quiet spell forgets the count too.
    for (int i = 0; i < 5; ++i) (void)throttle.failed(client, now);
    now += seconds(900);
    EXPECT_EQ(throttle.failed(client, now), milliseconds(0));
}

TEST(LoginThrottle, OneIpv6NetworkIsOneClientAndTheTableStaysBounded) {
    LoginThrottle::Policy policy;
    policy.freeFailures = 0;
    policy.maxClients = 3;
    LoginThrottle throttle(policy);
    const auto start = LoginThrottle::Clock::time_point{} + seconds(1000);
    EXPECT_GT(throttle.failed("2001:db8:1:2::1", start), milliseconds(0));
    // Another address of the same /64 waits as the first one does.
    EXPECT_GT(throttle.holdFor("2001:db8:1:2:ffff::9", start), milliseconds(0));
    EXPECT_EQ(throttle.holdFor("2001:db8:1:3::1", start), milliseconds(0));

    for (int i = 0; i < 10; ++i) {
        (void)throttle.failed("198.51.100." + std::to_string(i), start + seconds(i + 1));
        EXPECT_LE(throttle.size(), 3u);
    }
    // The clients that failed longest ago went first; the latest are still held.
    EXPECT_EQ(throttle.holdFor("2001:db8:1:2::1", start), milliseconds(0));
    EXPECT_GT(throttle.holdFor("198.51.100.9", start + seconds(10)), milliseconds(0));
}

}  // namespace
}  // namespace tg
