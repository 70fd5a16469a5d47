#include "toolkit/foundation/NSNetworkInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <set>
#include <thread>

namespace NSUI {

namespace {

std::vector<std::string> splitComma(const std::string& text)
{
    std::vector<std::string> parts;
    size_t from = 0;
    while (true) {
        const size_t at = text.find(',', from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            break;
        from = at + 1;
    }
    return parts;
}

// A dotted address as a number, first part most significant; 0 when the
// text is not a well-formed address (trailing white space is allowed).
uint32_t addressNumber(const std::string& text)
{
    size_t end = text.find_last_not_of(" \t\r\n");
    const std::string trimmed = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    if (!isValidIPv4(trimmed))
        return 0;
    uint32_t value = 0;
    unsigned part = 0;
    for (char c : trimmed) {
        if (c == '.') {
            value = (value << 8) | part;
            part = 0;
        } else {
            part = part * 10 + static_cast<unsigned>(c - '0');
            if (part > 255)
                part = 256; // cannot happen after validation; keeps the sum bounded
        }
    }
    return (value << 8) | part;
}

std::string dotted(uint32_t a)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 255),
                  static_cast<int>((a >> 8) & 255), static_cast<int>(a & 255));
    return buf;
}

std::atomic<bool> checkRunning{false};
std::atomic<unsigned char> checkResult{0};
std::atomic<uint32_t> checkStartTime{0};

} // namespace

void getNetworkInfo(std::string& hostName, std::string& addresses, std::string& masks)
{
    hostName.clear();
    addresses.clear();
    masks.clear();

    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        std::set<std::string> seen;
        for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
            if (!ifa->ifa_name || !ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET)
                continue;
            // Only the first IPv4 address of each interface counts.
            if (!seen.insert(ifa->ifa_name).second)
                continue;
            if (!(ifa->ifa_flags & IFF_UP) || (ifa->ifa_flags & IFF_LOOPBACK) || !ifa->ifa_netmask)
                continue;
            char addr[INET_ADDRSTRLEN] = {0};
            char mask[INET_ADDRSTRLEN] = {0};
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr, addr, sizeof addr);
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ifa->ifa_netmask)->sin_addr, mask, sizeof mask);
            const std::string a = addr;
            if (a == "127.0.0.1" || a == "0.0.0.0")
                continue;
            if (!addresses.empty()) {
                addresses += ',';
                masks += ',';
            }
            addresses += a;
            masks += mask;
        }
        freeifaddrs(list);
    }

    char name[256] = {0};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        hostName = "Win32";
    } else {
        for (const char* p = name; *p; ++p) {
            const char c = *p;
            if (c == '"' || c == ':' || c == '{' || c == '}' || c == '[' || c == ']')
                continue;
            hostName += (c == ',') ? '_' : c;
        }
    }
}

void listSubnetAddressesFor(const std::string& addresses, const std::string& masks,
                            std::vector<std::string>& list)
{
    list.clear();
    if (addresses.empty() || masks.empty())
        return;
    const std::vector<std::string> a = splitComma(addresses);
    const std::vector<std::string> m = splitComma(masks);
    const size_t count = std::min(a.size(), m.size());
    for (size_t i = 0; i < count; ++i) {
        const uint32_t A = addressNumber(a[i]);
        const uint32_t M = addressNumber(m[i]);
        int k = -1;
        for (int bit = 0; bit <= 22; ++bit) {
            if (M & (1u << bit)) {
                k = bit;
                break;
            }
        }
        // /9 and shorter, /32 and unreadable masks: this adapter is skipped.
        if (k <= 0 || A == 0)
            continue;
        const uint32_t H = (1u << k) - 1;
        uint32_t first = A & M;
        if ((first & 255) == 0)
            first += 1;
        uint32_t last = (first & ~H) + H;
        if ((last & 255) == 255)
            last -= 1;
        const uint32_t up = last - A + 1;
        const uint32_t down = A - first + 1;
        const uint32_t span = std::max(up, down);
        auto usable = [&](uint32_t x) {
            return x >= first && x <= last && (x & 255) != 0 && (x & 255) != 255;
        };
        for (uint32_t d = 1; d < span; ++d) {
            if (usable(A + d))
                list.push_back(dotted(A + d));
            if (usable(A - d))
                list.push_back(dotted(A - d));
        }
    }
}

void listSubnetAddresses(std::vector<std::string>& list)
{
    std::string host, addresses, masks;
    getNetworkInfo(host, addresses, masks);
    listSubnetAddressesFor(addresses, masks, list);
}

bool isValidIPv4(std::string text)
{
    int parts = 0;
    size_t i = 0;
    while (true) {
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            if (value > 255)
                return false;
            ++digits;
            ++i;
        }
        if (digits == 0)
            return false;
        ++parts;
        if (i == text.size())
            return parts == 4;
        if (text[i] != '.' || parts == 4)
            return false;
        ++i;
    }
}

bool isAllDigits(std::string text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int checkNetworkAdapters()
{
    std::string host, addresses, masks;
    getNetworkInfo(host, addresses, masks);
    return addresses.find(':') != std::string::npos ? 1 : 0;
}

int getNetworkCheckResult()
{
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    if (!checkRunning.load() && now - checkStartTime.load() >= 60000000u) {
        bool expected = false;
        if (checkRunning.compare_exchange_strong(expected, true)) {
            checkStartTime.store(now);
            std::thread([] {
                const auto started = static_cast<uint32_t>(std::time(nullptr));
                const int result = checkNetworkAdapters();
                checkResult.store(static_cast<unsigned char>(result));
                checkStartTime.store(started);
                checkRunning.store(false);
            }).detach();
        }
    }
    return checkResult.load();
}

} // namespace NSUI
