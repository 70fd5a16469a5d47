#include "toolkit/foundation/NSNetworkInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

namespace {

struct SubnetCase {
    const char* addresses;
    const char* masks;
    size_t count;    // number of listed addresses
    Strings prefix;  // the first entries, in order
    Strings absent;  // entries that must not appear
};

std::string ip(int a, int b, int c, int d)
{
    return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
}

Strings ascending(int a, int b, int c, int from, int to)
{
    Strings out;
    for (int d = from; d <= to; ++d)
        out.push_back(ip(a, b, c, d));
    return out;
}

} // namespace

TEST(SubnetAddresses, Table)
{
    Strings around10;
    for (int d = 1; d <= 9; ++d) {
        around10.push_back(ip(192, 168, 1, 10 + d));
        around10.push_back(ip(192, 168, 1, 10 - d));
    }
    for (const std::string& s : ascending(192, 168, 1, 20, 254))
        around10.push_back(s);

    const SubnetCase cases[] = {
        {"192.168.1.10", "255.255.255.0", 253, around10, {"192.168.1.0", "192.168.1.10", "192.168.1.255"}},
        {"192.168.1.1", "255.255.255.0", 253, ascending(192, 168, 1, 2, 254), {"192.168.1.1"}},
        {"10.0.0.5", "255.255.255.252", 3, {"10.0.0.6", "10.0.0.4", "10.0.0.7"}, {}},
        {"10.0.0.4", "255.255.255.254", 1, {"10.0.0.5"}, {}},
        // /8, /9 and /32 adapters are skipped; the adapters after them count.
        {"10.1.2.3,192.168.1.1", "255.0.0.0,255.255.255.252", 2, {"192.168.1.2", "192.168.1.3"}, {}},
        {"10.1.2.3,10.200.0.1,10.9.9.9,192.168.1.1", "255.128.0.0,255.255.255.255,0.0.0.0,255.255.255.252", 2,
         {"192.168.1.2", "192.168.1.3"}, {}},
        // Two adapters: each subnet in turn.
        {"10.0.0.5,10.0.1.5", "255.255.255.252,255.255.255.252", 6,
         {"10.0.0.6", "10.0.0.4", "10.0.0.7", "10.0.1.6", "10.0.1.4", "10.0.1.7"}, {}},
        // A /16: every host but the network, broadcast and .0/.255 ones.
        {"172.16.5.5", "255.255.0.0", 256 * 254 - 1, {"172.16.5.6", "172.16.5.4", "172.16.5.7", "172.16.5.3"},
         {"172.16.5.5", "172.16.4.255", "172.16.6.0"}},
        // Unreadable masks or addresses, and unmatched entries, give nothing.
        {"192.168.1.10", "255.255.255.0x", 0, {}, {}},
        {"1..2.3", "255.255.255.0", 0, {}, {}},
        {"", "", 0, {}, {}},
    };

    for (const SubnetCase& c : cases) {
        SCOPED_TRACE(std::string(c.addresses) + " / " + c.masks);
        Strings list = {"stale"};
        NSUI::listSubnetAddressesFor(c.addresses, c.masks, list);
        ASSERT_EQ(list.size(), c.count);
        for (size_t i = 0; i < c.prefix.size() && i < list.size(); ++i)
            EXPECT_EQ(list[i], c.prefix[i]) << "entry " << i;
        const std::set<std::string> all(list.begin(), list.end());
        EXPECT_EQ(all.size(), list.size()) << "duplicates";
        for (const std::string& s : c.absent)
            EXPECT_EQ(all.count(s), 0u) << s;
    }
}

TEST(SubnetAddresses, SecondAdapterWithShortMaskList)
{
    // Only as many adapters as both lists have entries are handled.
    Strings list;
    NSUI::listSubnetAddressesFor("192.168.1.10,10.0.0.5", "255.255.255.252", list);
    EXPECT_EQ(list, (Strings{"192.168.1.11", "192.168.1.9", "192.168.1.8"}));
}

TEST(Ipv4Validation, Table)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"127.0.0.1", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"010.001.000.009", true},
        {"0000000000192.168.1.1", true},
        {"192.168.256.1", false},
        {"192.168.1.1000", false},
        {"99999999999999999999.1.1.1", false},
        {"192.168.1.", false},
        {"192.168.1", false},
        {"1.2.3.4.5", false},
        {"1..2.3", false},
        {".1.2.3", false},
        {"1.2.3..", false},
        {"192.168.1.1 ", false},
        {" 192.168.1.1", false},
        {"192.168.a.1", false},
        {"-1.2.3.4", false},
        {"+1.2.3.4", false},
        {"", false},
        {"...", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NSUI::isValidIPv4(c.text), c.valid) << c.text;
}

TEST(AllDigits, Table)
{
    EXPECT_TRUE(NSUI::isAllDigits(""));
    EXPECT_TRUE(NSUI::isAllDigits("0123456789"));
    EXPECT_FALSE(NSUI::isAllDigits("-1"));
    EXPECT_FALSE(NSUI::isAllDigits("+1"));
    EXPECT_FALSE(NSUI::isAllDigits("1 2"));
    EXPECT_FALSE(NSUI::isAllDigits("104a"));
}

// Inside the loopback-only test namespace, loopback is the only interface
// and is never reported.
TEST(NetworkInfo, LoopbackIsNotAnAdapter)
{
    std::string host = "x", addresses = "x", masks = "x";
    NSUI::getNetworkInfo(host, addresses, masks);
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host.find_first_of("\":{}[],"), std::string::npos);
    EXPECT_EQ(addresses.find("127."), std::string::npos);
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), ','), std::count(masks.begin(), masks.end(), ','));
    EXPECT_EQ(NSUI::checkNetworkAdapters(), 0);
}
