// SPDX-License-Identifier: MIT
// Holds UDP port 4022 on one address under Wine, as another program on a technician's PC
// would (a second tool, a VPN's or a virtual card's service), for the end-to-end test: the
// search must leave that card alone and search the others. It binds as most programs do,
// without sharing options, says HOLDING on standard output once bound, and keeps the port
// until it is killed.
//   port-holder.exe ADDRESS
#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    WSADATA data;
    if (argc != 2 || WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 2;
    SOCKET holder = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_port = htons(4022);
    if (holder == INVALID_SOCKET || inet_pton(AF_INET, argv[1], &address.sin_addr) != 1)
        return 2;
    if (bind(holder, (struct sockaddr *)&address, sizeof address) != 0) {
        printf("FAILED %d\n", WSAGetLastError());
        return 1;
    }
    printf("HOLDING %s\n", argv[1]);
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
