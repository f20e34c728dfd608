// SPDX-License-Identifier: MIT
#include "socketdrops.h"

#include <cinttypes>
#include <cstdio>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace {

// One line of /proc/net/udp: the socket's inode and its drop count, or false for the header
// and anything else that is not such a line.
[[maybe_unused]] bool parseLine(const char *line, std::uint64_t &inode, std::uint64_t &drops)
{
    // "sl local rem st tx_queue:rx_queue tr:when retrnsmt uid timeout inode ref pointer drops"
    unsigned slot = 0;
    unsigned long uid = 0, timeout = 0, references = 0;
    char local[64], remote[64], state[8], queues[32], timer[32], retransmits[16], pointer[32];
    const int fields =
        std::sscanf(line, " %u: %63s %63s %7s %31s %31s %15s %lu %lu %" SCNu64 " %lu %31s %" SCNu64,
                    &slot, local, remote, state, queues, timer, retransmits, &uid, &timeout, &inode,
                    &references, pointer, &drops);
    return fields == 13;
}

} // namespace

namespace SocketDrops {

#ifdef Q_OS_LINUX

bool available()
{
    return true;
}

std::unordered_map<std::uint64_t, std::uint64_t> byInode()
{
    std::unordered_map<std::uint64_t, std::uint64_t> counts;
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::FILE *file = std::fopen(table, "re");
        if (!file)
            continue;
        char line[512];
        while (std::fgets(line, sizeof line, file)) {
            std::uint64_t inode = 0, drops = 0;
            if (parseLine(line, inode, drops) && inode != 0)
                counts[inode] = drops;
        }
        std::fclose(file);
    }
    return counts;
}

std::uint64_t inodeOf(qintptr descriptor)
{
    struct stat status = {};
    if (descriptor < 0 || fstat(int(descriptor), &status) != 0 || !S_ISSOCK(status.st_mode))
        return 0;
    return std::uint64_t(status.st_ino);
}

#else

bool available()
{
    return false;
}

std::unordered_map<std::uint64_t, std::uint64_t> byInode()
{
    return {};
}

std::uint64_t inodeOf(qintptr)
{
    return 0;
}

#endif

} // namespace SocketDrops
