#!/bin/sh
# SPDX-License-Identifier: MIT
# Manual end-to-end check of the board simulator, entirely inside two network namespaces
# made for it and removed afterwards: qvsim-a plays the PC (10.77.0.1), qvsim-b the boards
# (10.77.0.2, and 192.168.50.7 for a board in a foreign subnet), joined by a veth pair.
# Nothing is sent in the namespace this script is started from. Needs root and python3.
#
#   tools/board-sim/netns-check.sh [path/to/quorvan-board-sim]
set -u
here=$(cd "$(dirname "$0")" && pwd)
sim=${1:-$here/../../build/tools/board-sim/quorvan-board-sim}
probe="python3 $here/netns-probe.py"
work=$(mktemp -d)
failures=0
simpid=

cleanup()
{
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
    ip netns del qvsim-a 2>/dev/null
    ip netns del qvsim-b 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

if [ "$(id -u)" != 0 ]; then
    echo "netns-check: needs root to make network namespaces" >&2
    exit 1
fi
[ -x "$sim" ] || { echo "netns-check: no simulator at $sim" >&2; exit 1; }

ip netns add qvsim-a || exit 1
ip netns add qvsim-b || exit 1
ip -n qvsim-a link set lo up
ip -n qvsim-b link set lo up
ip -n qvsim-a link add qvsim-va type veth peer name qvsim-vb netns qvsim-b || exit 1
ip -n qvsim-a addr add 10.77.0.1/24 dev qvsim-va
ip -n qvsim-b addr add 10.77.0.2/24 dev qvsim-vb
ip -n qvsim-b addr add 192.168.50.7/24 dev qvsim-vb
ip -n qvsim-a link set qvsim-va up
ip -n qvsim-b link set qvsim-vb up

check()
{
    if [ "$1" = "$2" ]; then
        echo "ok    $3"
    else
        echo "FAIL  $3: got '$1', expected '$2'"
        failures=$((failures + 1))
    fi
}

start_sim()
{
    ip netns exec qvsim-b "$sim" "$@" >"$work/log" 2>"$work/err" &
    simpid=$!
    for _ in $(seq 50); do
        grep -q '^READY' "$work/log" && return 0
        sleep 0.1
    done
    echo "FAIL  simulator did not start: $(cat "$work/err")"
    failures=$((failures + 1))
}

stop_sim()
{
    kill -TERM "$simpid"
    wait "$simpid"
    check "$?" 0 "simulator exits with 0 on SIGTERM"
    simpid=
}

run_probe() { ip netns exec qvsim-a $probe "$@" >"$work/out"; }
count() { grep -c "$1" "$work/out"; }
summary() { grep '^SUMMARY' "$work/out"; }

echo "== unicast, mixed layouts"
start_sim --boards 3 --layout mixed
check "$(head -1 "$work/log")" "READY 10.77.0.2 4022" "READY names the bind address"
run_probe query --expect 3
check "$(count '"via": "unicast"')" 3 "three unicast replies"
check "$(count '"layout": "short"')" 1 "board 1 answers in the short layout"
check "$(count '"from": "10.77.0.2:4022"')" 3 "replies come from 10.77.0.2:4022"
check "$(grep -c '"mac": "02:00:00:00:00:02".*"version": "56332e3030"' "$work/out")" 1 \
    "short board carries V3.00"
check "$(grep -c ' RECV 10.77.0.1 4022 query 51756f7276616e3f00$' "$work/log")" 1 "RECV logged"
check "$(grep -c ' SEND 10.77.0.1 4022 reply 51756f7276616e52' "$work/log")" 3 "SEND logged"
stop_sim

echo "== broadcast replies"
start_sim --boards 3 --reply broadcast
run_probe query --expect 3
check "$(count '"via": "broadcast"')" 3 "three broadcast replies"
check "$(grep -c ' SEND 255.255.255.255 4022 reply ' "$work/log")" 3 "SEND to the broadcast address"
check "$(grep -c ' RECV .* reply ' "$work/log")" 0 "own broadcasts are not logged"
stop_sim

echo "== a board in a foreign subnet"
start_sim --boards 2 --reply broadcast --bind 192.168.50.7 --ip 192.168.50.100
check "$(head -1 "$work/log")" "READY 192.168.50.7 4022" "bound to the foreign address"
run_probe query --expect 2
check "$(count '"from": "192.168.50.7:4022"')" 2 "broadcast replies from 192.168.50.7"
check "$(count '"ip": "192.168.50.101"')" 1 "second board has the next IP address"
stop_sim

echo "== write, restart and the new settings"
start_sim --boards 3 --layout mixed --restart 1500
run_probe write --mac 02:00:00:00:00:02 --ip 10.77.0.150 --dhcp on --level2 on --port 9999
sleep 0.2
check "$(grep -c ' APPLY 02:00:00:00:00:02$' "$work/log")" 1 "APPLY logged"
run_probe query --timeout 0.5
check "$(summary | grep -o '"replies": [0-9]*')" '"replies": 2' "restarting board is silent"
sleep 1.5
check "$(grep -c ' BACK 02:00:00:00:00:02$' "$work/log")" 1 "BACK logged"
apply=$(grep ' APPLY ' "$work/log" | cut -d' ' -f1)
back=$(grep ' BACK ' "$work/log" | cut -d' ' -f1)
check "$(( back - apply >= 1500 && back - apply < 1700 ))" 1 "restart lasts about 1500 ms"
run_probe query --expect 3
check "$(grep -c '"ip": "10.77.0.150".*"layout": "short"' "$work/out")" 1 \
    "board comes back with the new IP address, still short"
check "$(grep -c '"dhcp": "O".*"ip": "10.77.0.150".*"port": "9999"' "$work/out")" 1 \
    "DHCP and port taken from the write"
run_probe write --mac 02:00:00:00:00:09 --ip 10.77.0.160
sleep 0.2
check "$(grep -c ' APPLY ' "$work/log")" 1 "a write for another MAC is ignored"
check "$(grep -c ' RECV 10.77.0.1 4022 write ' "$work/log")" 2 "both writes logged as RECV"
stop_sim

echo "== boards that ignore or mangle writes, exact versions"
start_sim --restart 300 --board 'mac=02:00:00:00:01:01,write=ignore' \
    --board 'mac=02:00:00:00:01:02,ip=10.77.0.20,write=mangle,version=V\x00\x00' \
    --board 'mac=02:00:00:00:01:03,layout=short,version=\x00\x00'
run_probe write --mac 02:00:00:00:01:01 --ip 10.77.0.201
run_probe write --mac 02:00:00:00:01:02 --ip 10.77.0.202
sleep 0.6
check "$(grep -c ' APPLY 02:00:00:00:01:01' "$work/log")" 0 "ignoring board does not restart"
check "$(grep -c ' BACK 02:00:00:00:01:02' "$work/log")" 1 "mangling board restarts"
run_probe query --expect 3
check "$(count '"ip": "10.77.0.1"')" 0 "(sanity)"
check "$(grep -c '"ip": "10.77.0.100".*"mac": "02:00:00:00:01:01"' "$work/out")" 1 \
    "ignoring board keeps its IP address"
check "$(grep -c '"ip": "10.77.0.203".*"mac": "02:00:00:00:01:02"' "$work/out")" 1 \
    "mangling board comes back with another IP address"
check "$(count '"version": "5600000000000000"')" 1 "version with escaped zero bytes"
check "$(count '"layout": "short", "level2"')" 0 "(sanity)"
check "$(count '"version": "0000000000"')" 1 "short version of two zero bytes"
stop_sim

echo "== delay and jitter"
start_sim --boards 20 --delay 200 --jitter 100 --seed 7
run_probe query --expect 20 --quiet
first=$(summary | sed 's/.*"first_ms": \([0-9.]*\).*/\1/')
last=$(summary | sed 's/.*"last_ms": \([0-9.]*\).*/\1/')
check "$(python3 -c "print(int(200 <= $first and $last < 330))")" 1 \
    "replies between 200 and 300 ms (first $first, last $last)"
stop_sim

echo "== other datagrams"
start_sim --boards 1
run_probe raw --hex 0102ff --timeout 0.3
run_probe raw --hex 51756f7276616e3f --timeout 0.3
sleep 0.1
check "$(grep -c ' RECV 10.77.0.1 4022 other 0102ff$' "$work/log")" 1 "other datagram logged"
check "$(grep -c ' RECV 10.77.0.1 4022 query 51756f7276616e3f$' "$work/log")" 1 \
    "8-byte query logged"
check "$(grep -c ' SEND ' "$work/log")" 0 "an 8-byte query is not answered"
stop_sim

echo "== 10000 boards"
start_sim --boards 10000 --quiet
run_probe query --expect 10000 --timeout 10 --quiet
echo "      unicast: $(summary)"
check "$(summary | grep -o '"macs": [0-9]*')" '"macs": 10000' "10000 distinct boards answer"
run_probe query --expect 10000 --timeout 10 --quiet
echo "      unicast again: $(summary)"
check "$(wc -l <"$work/log")" 1 "quiet: only READY"
stop_sim
start_sim --boards 10000 --quiet --reply broadcast
run_probe query --expect 10000 --timeout 10 --quiet
echo "      broadcast: $(summary)"
check "$(summary | grep -o '"macs": [0-9]*')" '"macs": 10000' "10000 broadcast replies"
stop_sim

echo "== errors"
ip netns exec qvsim-b "$sim" --bind 10.9.9.9 >/dev/null 2>"$work/err"
check "$?" 1 "bind to a foreign address fails with 1"
check "$(wc -l <"$work/err")" 1 "one line on stderr"

if [ "$failures" = 0 ]; then
    echo "all checks passed"
else
    echo "$failures checks failed"
fi
[ "$failures" = 0 ]
