#include "http/listen_address.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>

#include "http/net_address.h"

namespace tg {
namespace {

TEST(ListenAddress, NumbersAndNamesResolveAndWhatCannotBeUsedSaysWhy) {
    struct Case {
        const char* text;
        int family;
        const char* numeric;
        bool any;
        bool loopback;
    };
    const Case cases[] = {
        {"0.0.0.0", AF_INET, "0.0.0.0", true, false},
        {"127.0.0.1", AF_INET, "127.0.0.1", false, true},
        {"192.0.2.1", AF_INET, "192.0.2.1", false, false},  // resolves; binding decides
        {"::", AF_INET6, "::", true, false},
        {"::1", AF_INET6, "::1", false, true},
        {"[::1]", AF_INET6, "::1", false, true},
        {"localhost", AF_INET, "127.0.0.1", false, true},  // IPv4 first when a name has both
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto address = resolveListenAddress(c.text, 8080, error);
        ASSERT_TRUE(address.has_value()) << error;
        EXPECT_EQ(address->family, c.family);
        EXPECT_EQ(numericAddress(reinterpret_cast<const sockaddr*>(&address->address),
                                 address->length),
                  c.numeric);
        EXPECT_EQ(address->anyAddress, c.any);
        EXPECT_EQ(address->loopback, c.loopback);
    }
    for (const char* bad : {"", "127.0.0.256", "no-such-host.invalid", "[::1"}) {
        SCOPED_TRACE(bad);
        std::string error;
        EXPECT_FALSE(resolveListenAddress(bad, 8080, error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

TEST(NetAddress, AnIpv4ClientOnAnIpv6SocketIsItsIpv4Address) {
    // On a "::" listener a loopback IPv4 client arrives as ::ffff:127.0.0.1.
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    mapped.sin6_addr.s6_addr[10] = mapped.sin6_addr.s6_addr[11] = 0xff;
    mapped.sin6_addr.s6_addr[12] = 127;
    mapped.sin6_addr.s6_addr[15] = 1;
    const std::string text = numericAddress(reinterpret_cast<sockaddr*>(&mapped), sizeof mapped);
    EXPECT_EQ(text, "127.0.0.1");
    EXPECT_TRUE(isLoopbackAddress(text));
    const unsigned char wide[4] = {192, 0, 2, 255};  // numbers of one, two and three digits
    std::memcpy(mapped.sin6_addr.s6_addr + 12, wide, sizeof wide);
    EXPECT_EQ(numericAddress(reinterpret_cast<sockaddr*>(&mapped), sizeof mapped), "192.0.2.255");
    EXPECT_FALSE(isLoopbackAddress("::ffff:10.0.0.1"));
    EXPECT_TRUE(sameAddress("[2001:db8::1]", "2001:DB8:0::1"));
}

}  // namespace
}  // namespace tg
