// SPDX-License-Identifier: MIT
// Two helpers of bench/discovery, without Qt, so that they cost as little as the kernel
// allows:
//
//   quorvan-bench-receiver search ADDRESS SECONDS
//     the bare receiver: a search of its own, bound as the tool binds (ADDRESS:4022 and
//     0.0.0.0:4022, address reuse, default receive buffers), four queries at 1, 2, 3 and
//     4 s, every datagram drained at once; prints how many distinct boards it heard.
//
//   quorvan-bench-receiver tap INTERFACE SECONDS
//     a packet socket on the PC's end of the link: counts the replies as they arrive on
//     the wire, before any UDP socket buffer can drop them, with the kernel's receive
//     stamps. Stops on SIGTERM or after SECONDS.

#include "benchsupport.h"
#include "protocol.h"

#include <arpa/inet.h>
#include <csignal>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>

namespace {

constexpr int queries = 4;
constexpr std::int64_t queryIntervalNs = 1000000000;
// The tap keeps up with a whole search of 10000 boards even when it is not scheduled for a
// while: 40000 small packets of about 1 KiB of kernel memory each.
constexpr int tapBufferSize = 256 * 1024 * 1024;

volatile std::sig_atomic_t stopRequested = 0;

void onTerminate(int)
{
    stopRequested = 1;
}

int fail(const char *what)
{
    std::fprintf(stderr, "quorvan-bench-receiver: %s: %s\n", what, std::strerror(errno));
    return 1;
}

int boundSocket(in_addr_t address)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(devicePort);
    local.sin_addr.s_addr = address;
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int search(const char *addressText, double seconds)
{
    in_addr address{};
    if (inet_pton(AF_INET, addressText, &address) != 1) {
        std::fprintf(stderr, "quorvan-bench-receiver: bad address %s\n", addressText);
        return 1;
    }
    const int own = boundSocket(address.s_addr);
    const int any = boundSocket(htonl(INADDR_ANY));
    if (own < 0 || any < 0)
        return fail("bind");
    int rcvbuf = 0;
    socklen_t size = sizeof rcvbuf;
    getsockopt(own, SOL_SOCKET, SO_RCVBUF, &rcvbuf, &size);

    sockaddr_in broadcast{};
    broadcast.sin_family = AF_INET;
    broadcast.sin_port = htons(devicePort);
    broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const QueryDatagram query = queryDatagram();

    std::unordered_set<std::uint64_t> macs;
    macs.reserve(1 << 15);
    unsigned long long datagrams = 0;
    int sent = 0;
    const std::int64_t start = BenchSupport::monotonicNs();
    const std::int64_t end = start + std::int64_t(seconds * 1e9);
    pollfd fds[2] = {{own, POLLIN, 0}, {any, POLLIN, 0}};
    for (;;) {
        const std::int64_t now = BenchSupport::monotonicNs();
        if (now >= end)
            break;
        const std::int64_t nextQuery = start + (sent + 1) * queryIntervalNs;
        if (sent < queries && now >= nextQuery) {
            sendto(own, query.data(), query.size(), 0,
                   reinterpret_cast<const sockaddr *>(&broadcast), sizeof broadcast);
            ++sent;
            continue;
        }
        const std::int64_t until = sent < queries ? std::min(nextQuery, end) : end;
        poll(fds, 2, int((until - now) / 1000000) + 1);
        for (const pollfd &entry : fds) {
            for (;;) {
                std::uint8_t buffer[replyDatagramSize] = {};
                const ssize_t length = recv(entry.fd, buffer, sizeof buffer, 0);
                if (length < 0)
                    break;
                ++datagrams;
                if (isReply(buffer, std::size_t(length)))
                    macs.insert(macKey(parseReply(buffer, std::size_t(length)).mac));
            }
        }
    }
    std::printf("bare_distinct %zu\n", macs.size());
    std::printf("bare_datagrams %llu\n", datagrams);
    std::printf("bare_drops %llu\n", BenchSupport::udpDrops(devicePort));
    std::printf("bare_rcvbuf %d\n", rcvbuf);
    close(own);
    close(any);
    return 0;
}

int tap(const char *interface, double seconds)
{
    const unsigned index = if_nametoindex(interface);
    if (index == 0)
        return fail("interface");
    const int fd = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
    if (fd < 0)
        return fail("packet socket");
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &tapBufferSize, sizeof tapBufferSize);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = int(index);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&link), sizeof link) < 0)
        return fail("bind packet socket");
    std::signal(SIGTERM, onTerminate);
    std::signal(SIGINT, onTerminate);
    std::printf("READY\n");
    std::fflush(stdout);

    std::unordered_set<std::uint64_t> macs;
    macs.reserve(1 << 15);
    unsigned long long replies = 0;
    std::int64_t first = 0;
    std::int64_t last = 0;
    const std::int64_t end = BenchSupport::monotonicNs() + std::int64_t(seconds * 1e9);
    pollfd entry{fd, POLLIN, 0};
    while (!stopRequested && BenchSupport::monotonicNs() < end) {
        if (poll(&entry, 1, 100) <= 0)
            continue;
        for (;;) {
            std::uint8_t packet[256];
            char control[CMSG_SPACE(sizeof(timespec))];
            sockaddr_ll from{};
            iovec vector{packet, sizeof packet};
            msghdr message{};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t length = recvmsg(fd, &message, MSG_DONTWAIT);
            if (length < 0)
                break;
            if (from.sll_pkttype == PACKET_OUTGOING || length < ssize_t(sizeof(iphdr)))
                continue;
            const auto *ip = reinterpret_cast<const iphdr *>(packet);
            const std::size_t ipLength = std::size_t(ip->ihl) * 4;
            if (ip->protocol != IPPROTO_UDP || std::size_t(length) < ipLength + sizeof(udphdr))
                continue;
            const auto *udp = reinterpret_cast<const udphdr *>(packet + ipLength);
            if (ntohs(udp->source) != devicePort || ntohs(udp->dest) != devicePort)
                continue;
            const std::uint8_t *payload = packet + ipLength + sizeof(udphdr);
            const std::size_t payloadLength = std::size_t(length) - ipLength - sizeof(udphdr);
            if (!isReply(payload, payloadLength))
                continue;
            std::int64_t stamp = BenchSupport::wallNs();
            for (cmsghdr *header = CMSG_FIRSTHDR(&message); header;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec value{};
                    std::memcpy(&value, CMSG_DATA(header), sizeof value);
                    stamp = std::int64_t(value.tv_sec) * 1000000000 + value.tv_nsec;
                }
            }
            if (replies == 0)
                first = stamp;
            last = std::max(last, stamp);
            ++replies;
            macs.insert(macKey(parseReply(payload, payloadLength).mac));
        }
    }
    tpacket_stats stats{};
    socklen_t size = sizeof stats;
    getsockopt(fd, SOL_PACKET, PACKET_STATISTICS, &stats, &size);
    std::printf("wire_replies %llu\n", replies);
    std::printf("wire_distinct %zu\n", macs.size());
    std::printf("wire_first_ns %lld\n", static_cast<long long>(first));
    std::printf("wire_last_ns %lld\n", static_cast<long long>(last));
    std::printf("tap_drops %u\n", stats.tp_drops);
    close(fd);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchSupport::requirePrivateNetwork("quorvan-bench-receiver");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "search")
        return search(argv[2], std::atof(argv[3]));
    if (argc == 4 && mode == "tap")
        return tap(argv[2], std::atof(argv[3]));
    std::fprintf(stderr, "usage: quorvan-bench-receiver search ADDRESS SECONDS\n"
                         "       quorvan-bench-receiver tap INTERFACE SECONDS\n");
    return 1;
}
