// SPDX-License-Identifier: MIT
#pragma once

// What the benchmark programs share: the refusal to open a socket outside a private network
// namespace, clocks that two processes can compare, and the kernel's per-socket counters.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace BenchSupport {

// Both the tap and the harness stamp events with the real-time clock: the tap gets the
// kernel's receive stamps only in that clock, and the two run in different processes.
inline std::int64_t wallNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

inline std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

inline bool hasDefaultRoute()
{
    std::FILE *routes = std::fopen("/proc/net/route", "r");
    if (!routes)
        return false;
    char line[512];
    bool found = false;
    bool header = true;
    while (std::fgets(line, sizeof line, routes)) {
        if (header) {
            header = false;
            continue;
        }
        char interface[64] = {};
        char destination[64] = {};
        if (std::sscanf(line, "%63s %63s", interface, destination) == 2 &&
            std::strcmp(destination, "00000000") == 0 && std::strcmp(interface, "lo") != 0)
            found = true;
    }
    std::fclose(routes);
    return found;
}

// Every benchmark program broadcasts or answers broadcasts: it runs only in a network
// namespace other than the one of process 1, and one without a default route.
inline void requirePrivateNetwork(const char *program)
{
    char own[64] = {};
    char first[64] = {};
    const bool known = readlink("/proc/self/ns/net", own, sizeof own - 1) > 0;
    const bool sameAsInit =
        readlink("/proc/1/ns/net", first, sizeof first - 1) > 0 && std::strcmp(own, first) == 0;
    if (!known || sameAsInit || hasDefaultRoute()) {
        std::fprintf(stderr,
                     "%s: REFUSED: run only inside a private network namespace "
                     "(bench/discovery makes one)\n",
                     program);
        std::exit(2);
    }
}

// Datagrams the kernel dropped, summed over the UDP sockets of this namespace bound to
// `port` (the last column of /proc/net/udp).
inline unsigned long long udpDrops(unsigned port)
{
    std::FILE *table = std::fopen("/proc/net/udp", "r");
    if (!table)
        return 0;
    char line[512];
    unsigned long long drops = 0;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::fgets(line, sizeof line, table)) {
        char local[64] = {};
        unsigned long long socketDrops = 0;
        // sl, local address, then ten fields up to the pointer, then the drops.
        if (std::sscanf(line, "%*s %63s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu", local,
                        &socketDrops) != 2)
            continue;
        const std::string address(local);
        if (address.size() >= 5 && address.compare(address.size() - 5, 5, wanted) == 0)
            drops += socketDrops;
    }
    std::fclose(table);
    return drops;
}

} // namespace BenchSupport
