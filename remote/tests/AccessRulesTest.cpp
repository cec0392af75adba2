#include <gtest/gtest.h>

#include <set>
#include <string>

#include "remote/AccessRules.h"
#include "remote/RateLimiter.h"

namespace voltrex::remote {
namespace {

constexpr const char* Token = "0123456789abcdef0123456789abcdef";

struct Case {
    const char* Method;
    const char* Path;
    bool Networked;  // the server has a token
    bool FromLoopback;
    int Status;
    Route Target;
};

TEST(AccessRulesTest, DecidesEachRequestByItsPathTokenAndPeer) {
    const Case cases[] = {
        // Loopback only: the bare routes, nothing else, nothing but reading.
        {"GET", "/", false, true, 200, Route::Page},
        {"GET", "/remote.js", false, true, 200, Route::Script},
        {"GET", "/state.json", false, true, 200, Route::State},
        {"HEAD", "/graph.png", false, true, 200, Route::Graph},
        {"GET", "/graph.bmp", false, true, 404, Route::None},
        {"GET", "/state.json/", false, true, 404, Route::None},
        {"GET", "/../state.json", false, true, 404, Route::None},
        {"POST", "/state.json", false, true, 405, Route::None},
        // On the network: the routes under the token.
        {"GET", "/0123456789abcdef0123456789abcdef/", true, false, 200, Route::Page},
        {"GET", "/0123456789abcdef0123456789abcdef/state.json", true, false, 200, Route::State},
        {"GET", "/0123456789abcdef0123456789abcdef/graph.png", true, false, 200, Route::Graph},
        {"GET", "/0123456789abcdef0123456789abcdef/secret", true, false, 404, Route::None},
        {"GET", "/0123456789abcdef0123456789abcdef", true, false, 404, Route::None},
        {"PUT", "/0123456789abcdef0123456789abcdef/state.json", true, false, 405, Route::None},
        // Another host without the right token learns nothing, whatever it asks.
        {"GET", "/", true, false, 403, Route::None},
        {"GET", "/state.json", true, false, 403, Route::None},
        {"GET", "/nothing-here", true, false, 403, Route::None},
        {"POST", "/", true, false, 403, Route::None},
        {"GET", "/0123456789abcdef0123456789abcdee/", true, false, 403, Route::None},
        {"GET", "/0123456789abcdef0123456789abcde/", true, false, 403, Route::None},
        {"GET", "/0123456789abcdef0123456789abcdef0/", true, false, 403, Route::None},
        {"GET", "//0123456789abcdef0123456789abcdef/", true, false, 403, Route::None},
        {"GET", "/0123456789ABCDEF0123456789ABCDEF/", true, false, 403, Route::None},
        // The loopback host may use the bare routes as well.
        {"GET", "/state.json", true, true, 200, Route::State},
        {"GET", "/wrong-token/state.json", true, true, 403, Route::None},
        {"GET", "/0123456789abcdef0123456789abcdef/nothing", true, true, 404, Route::None},
    };
    for (const Case& c : cases) {
        const Decision decision =
            Decide(c.Method, c.Path, c.Networked ? Token : "", c.FromLoopback);
        EXPECT_EQ(decision.Status, c.Status)
            << c.Method << " " << c.Path << (c.FromLoopback ? " from loopback" : "");
        EXPECT_EQ(decision.Target, c.Target) << c.Method << " " << c.Path;
    }
}

TEST(AccessRulesTest, TheComparisonFindsADifferenceAnywhere) {
    const std::string secret = Token;
    EXPECT_TRUE(ConstantTimeEquals(secret, secret));
    for (std::size_t i = 0; i < secret.size(); ++i) {
        std::string guess = secret;
        guess[i] = guess[i] == '0' ? '1' : '0';
        EXPECT_FALSE(ConstantTimeEquals(secret, guess)) << i;
    }
    EXPECT_FALSE(ConstantTimeEquals(secret, secret.substr(0, 31)));
    EXPECT_FALSE(ConstantTimeEquals(secret, secret + "0"));
    EXPECT_FALSE(ConstantTimeEquals(secret, ""));
    // A guess padded with the bytes the shorter compare reads as nothing.
    EXPECT_FALSE(ConstantTimeEquals(std::string("ab\0", 3), "ab"));
}

TEST(AccessRulesTest, TokensAre128RandomBitsInHex) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string token = NewToken();
        ASSERT_EQ(token.size(), 32u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(RateLimiterTest, ABurstThenTenASecondPerClient) {
    RateLimiter limiter;
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(limiter.Allow("10.0.0.2", 100.0)) << i;
    }
    EXPECT_FALSE(limiter.Allow("10.0.0.2", 100.0));
    // Another client has its own bucket.
    EXPECT_TRUE(limiter.Allow("10.0.0.3", 100.0));
    // Half a request's worth of time is not enough; another tenth of a
    // second makes one more request, not two.
    EXPECT_FALSE(limiter.Allow("10.0.0.2", 100.05));
    EXPECT_TRUE(limiter.Allow("10.0.0.2", 100.15));
    EXPECT_FALSE(limiter.Allow("10.0.0.2", 100.15));
    // Rested, a client has its burst again, never more.
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(limiter.Allow("10.0.0.2", 200.0)) << i;
    }
    EXPECT_FALSE(limiter.Allow("10.0.0.2", 200.0));
}

TEST(RateLimiterTest, ATableFullOfClientsForgetsTheStalest) {
    RateLimiter limiter;
    for (int i = 0; i < 20; ++i) {
        limiter.Allow("stale", 1.0);
    }
    EXPECT_FALSE(limiter.Allow("stale", 1.0));
    for (std::size_t i = 0; i < RateLimiter::MostClients; ++i) {
        limiter.Allow("client-" + std::to_string(i), 2.0);
    }
    // Forgotten, so it starts with a full burst.
    EXPECT_TRUE(limiter.Allow("stale", 2.0));
}

}  // namespace
}  // namespace voltrex::remote
