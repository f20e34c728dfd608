// SPDX-License-Identifier: MIT
// Preloaded into a test run (scripts/test --stock-rmem) to hold every socket's receive buffer
// to what a stock Debian kernel grants: net.core.rmem_max is 212992 there, while the machines
// the project is built on often allow megabytes. A test that only passes with a raised cap
// then fails here instead of on a user's machine. SO_RCVBUFFORCE, which lets a privileged
// caller pass the cap, is held too, as if the caller lacked the right.
#include <dlfcn.h>
#include <sys/socket.h>

#include <cstring>

namespace {

constexpr int stockRmemMax = 212992;

using SetSockOpt = int (*)(int, int, int, const void *, socklen_t);

} // namespace

extern "C" __attribute__((visibility("default"))) int
setsockopt(int fd, int level, int name, const void *value, socklen_t length) noexcept
{
    static const auto next = reinterpret_cast<SetSockOpt>(dlsym(RTLD_NEXT, "setsockopt"));
    if (level == SOL_SOCKET && (name == SO_RCVBUF || name == SO_RCVBUFFORCE) && value &&
        length >= sizeof(int)) {
        int size;
        std::memcpy(&size, value, sizeof size);
        if (size > stockRmemMax)
            size = stockRmemMax;
        return next(fd, level, SO_RCVBUF, &size, sizeof size);
    }
    return next(fd, level, name, value, length);
}
