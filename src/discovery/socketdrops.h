// SPDX-License-Identifier: MIT
#pragma once

// How many datagrams the system threw away on a socket because its receive buffer was full
// (or for another reason of its own), where the platform counts them: a search that lost
// replies this way may lack boards, and the user is told. Linux keeps the count for the
// socket's life in the last column of /proc/net/udp and udp6; Windows keeps none.

#include <QtGlobal>

#include <cstdint>
#include <unordered_map>

namespace SocketDrops {

// True where counts can be read at all.
bool available();

// Every UDP socket's count of dropped datagrams in this network namespace, by the inode of
// the socket (see inodeOf()). Empty where the platform gives no count.
std::unordered_map<std::uint64_t, std::uint64_t> byInode();

// The inode that names the socket in the system's tables; 0 when unknown.
std::uint64_t inodeOf(qintptr descriptor);

} // namespace SocketDrops
