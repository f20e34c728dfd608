#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The PC side of netns-check.sh: sends a query or a write on UDP port 4022 and reports the
# replies it hears. Only ever run inside a network namespace that netns-check.sh created.
import argparse
import json
import select
import socket
import struct
import time

PORT = 4022


def open_socket(address, buffer_size):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    # SO_RCVBUFFORCE (33) passes net.core.rmem_max, so that ten thousand replies in one
    # burst are not dropped before they are read.
    s.setsockopt(socket.SOL_SOCKET, 33, buffer_size)
    s.bind((address, PORT))
    return s


def parse_reply(data):
    record = {
        "mac": ":".join("%02x" % b for b in data[8:14]),
        "dhcp": chr(data[14]),
        "port": data[15:20].split(b"\0")[0].decode("latin-1"),
        "ip": socket.inet_ntoa(data[20:24]),
        "mask": socket.inet_ntoa(data[24:28]),
        "gateway": socket.inet_ntoa(data[28:32]),
        "dns": socket.inet_ntoa(data[32:36]),
        "size": len(data),
    }
    if data[36] in b"ON":
        record.update(layout="long", level2=chr(data[36]), version=data[37:45].hex())
    else:
        record.update(layout="short", version=data[36:41].hex(), tail=data[41:45].hex())
    return record


def write_datagram(a):
    def addr(text):
        return socket.inet_aton(text)

    mac = bytes(int(x, 16) for x in a.mac.split(":"))
    port = a.port.encode("latin-1").ljust(5, b"\0")
    version = a.version.encode("latin-1").ljust(8, b"\0")
    return (b"QuorvanW" + mac + (b"O" if a.dhcp == "on" else b"N") + port + addr(a.ip) +
            addr(a.mask) + addr(a.gateway) + addr(a.dns) + (b"O" if a.level2 == "on" else b"N") +
            version)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("what", choices=["query", "write", "raw"])
    p.add_argument("--bind", default="10.77.0.1")
    p.add_argument("--to", default="255.255.255.255")
    p.add_argument("--expect", type=int, default=0)
    p.add_argument("--timeout", type=float, default=1.0)
    p.add_argument("--repeat", type=int, default=1, help="send the datagram this many times")
    p.add_argument("--interval", type=float, default=0.0, help="seconds between repeats")
    p.add_argument("--quiet", action="store_true", help="print only the summary")
    p.add_argument("--hex", default="", help="raw: the datagram to send")
    for name, default in [("mac", ""), ("ip", "10.77.0.150"), ("mask", "255.255.255.0"),
                          ("gateway", "10.77.0.1"), ("dns", "10.77.0.2"), ("port", "502"),
                          ("version", "V3.00.01"), ("dhcp", "off"), ("level2", "off")]:
        p.add_argument("--" + name, default=default)
    a = p.parse_args()

    size = 64 * 1024 * 1024
    unicast = open_socket(a.bind, size)
    listener = open_socket("0.0.0.0", size)
    if a.what == "query":
        datagram = b"Quorvan?\0"
    elif a.what == "write":
        datagram = write_datagram(a)
    else:
        datagram = bytes.fromhex(a.hex)
    start = time.monotonic()
    sent = 0

    replies = []
    last = None
    deadline = start + a.timeout
    while True:
        now = time.monotonic()
        if sent < a.repeat and now >= start + sent * a.interval:
            unicast.sendto(datagram, (a.to, PORT))
            sent += 1
            continue
        left = deadline - now
        if sent < a.repeat:
            left = min(left, start + sent * a.interval - now)
        elif left <= 0 or (a.expect and len(replies) >= a.expect):
            break
        ready, _, _ = select.select([unicast, listener], [], [], max(left, 0))
        for s in ready:
            while True:
                try:
                    data, source = s.recvfrom(2048, socket.MSG_DONTWAIT)
                except BlockingIOError:
                    break
                if not data.startswith(b"QuorvanR"):
                    continue
                last = time.monotonic()
                r = parse_reply(data)
                r["via"] = "unicast" if s is unicast else "broadcast"
                r["from"] = "%s:%d" % source
                r["ms"] = round((last - start) * 1000, 1)
                replies.append(r)
    if not a.quiet:
        for r in replies:
            print(json.dumps(r, sort_keys=True))
    summary = {
        "replies": len(replies),
        "macs": len({r["mac"] for r in replies}),
        "first_ms": replies[0]["ms"] if replies else None,
        "last_ms": round((last - start) * 1000, 1) if last else None,
    }
    print("SUMMARY " + json.dumps(summary, sort_keys=True))


main()
