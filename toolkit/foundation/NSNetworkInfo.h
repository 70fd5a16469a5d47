// The machine's network as the rest of the system sees it: host name, the
// IPv4 address and mask of each adapter, the candidate host addresses of the
// local subnets (for the echo and peer-discovery sweeps), input tests for
// typed addresses and numbers, and a cached background network check.
#pragma once

#include <string>
#include <vector>

namespace NSUI {

// Host name and, for each interface that is up and not loopback, its first
// IPv4 address and mask as dotted texts joined by "," (entry i of both texts
// belongs to the same interface). The host name is cleaned so that it can
// stand in a flat JSON value and in a comma-separated list.
void getNetworkInfo(std::string& hostName, std::string& addresses, std::string& masks);

// Candidate host addresses of the local subnets, nearest to each adapter's
// own address first (alternating up and down), the adapter's own address,
// the network and the broadcast address left out.
void listSubnetAddresses(std::vector<std::string>& list);

// The same for given address and mask lists (texts as getNetworkInfo gives
// them). Subnets from /10 to /31 are listed; an adapter with another mask
// (/9 or shorter, /32, a zero or unreadable mask) is skipped.
void listSubnetAddressesFor(const std::string& addresses, const std::string& masks,
                            std::vector<std::string>& list);

// Exactly four non-empty parts of decimal digits, separated by '.', each
// 0-255 by its full value (leading zeros accepted).
bool isValidIPv4(std::string text);

// True when every character is a decimal digit (also for "").
bool isAllDigits(std::string text);

// 1 when the adapters' address text contains ':', else 0.
int checkNetworkAdapters();

// The last result of the background check (0 or 1). The first call of a run
// starts the check on a thread of its own and returns 0 without waiting.
int getNetworkCheckResult();

} // namespace NSUI
