#!/usr/bin/env bash
# Usage: check-with-xvfb.sh PATH/TO/with-xvfb.sh
#
# Checks the wrapper itself: every GUI test relies on it for a private, reachable display that
# goes away afterwards, and on its exit status to pass or fail.
set -euo pipefail

wrapper=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/check-with-xvfb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A display number is free for reuse as soon as its server is gone, so a server is told apart by
# its pid: the Xvfb that the wrapper, the command's parent, started.
record_server='pgrep -x -P "$PPID" Xvfb >"$0.tmp" && mv "$0.tmp" "$0"'

server_is_running() {
    kill -0 "$(<"$1")" 2>/dev/null
}

# shellcheck source=private-x-server.sh
source "$(dirname "$(realpath "$0")")/private-x-server.sh"

has_exited() {
    ! is_running "$1"
}

# Polls for up to 10 s, so a slow machine is not mistaken for a broken wrapper.
wait_until() {
    local i
    for ((i = 0; i < 100; i++)); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    return 1
}

echo "The command runs against a live private display, without a session bus."
DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$wrapper" bash -c \
    "[[ \$DISPLAY =~ ^:[0-9]+\$ && -z \${DBUS_SESSION_BUS_ADDRESS+set} ]] && xdpyinfo >/dev/null &&
    $record_server" "$scratch/server" ||
    fail "no usable display inside the wrapper, or the session bus is still set"
server_is_running "$scratch/server" && fail "Xvfb still runs after the command ended"

echo "The command's exit status is passed on."
status=0
"$wrapper" bash -c 'exit 7' || status=$?
[[ $status == 7 ]] || fail "exit status $status instead of 7"

echo "Runs in parallel get different displays."
"$wrapper" bash -c 'echo "$DISPLAY" >"$0"; sleep 1' "$scratch/first" &
first_pid=$!
"$wrapper" bash -c 'echo "$DISPLAY" >"$0"; sleep 1' "$scratch/second" &
second_pid=$!
wait "$first_pid" || fail "first parallel run failed"
wait "$second_pid" || fail "second parallel run failed"
[[ $(<"$scratch/first") != "$(<"$scratch/second")" ]] ||
    fail "parallel runs shared display $(<"$scratch/first")"

echo "SIGTERM to the wrapper stops both the command and Xvfb."
rm -f "$scratch/server"
"$wrapper" bash -c "echo \$\$ >\"\$1\"; $record_server; exec sleep 60" \
    "$scratch/server" "$scratch/command-pid" &
wrapper_pid=$!
wait_until test -s "$scratch/server" || fail "the command did not start"
command_pid=$(<"$scratch/command-pid")
kill -TERM "$wrapper_pid"
wait_until has_exited "$wrapper_pid" || fail "the wrapper ignored SIGTERM"
status=0
wait "$wrapper_pid" || status=$?
[[ $status == 143 ]] || fail "exit status $status after SIGTERM instead of 143"
wait_until bash -c '! kill -0 "$0" 2>/dev/null' "$command_pid" ||
    fail "the command outlived the wrapper"
server_is_running "$scratch/server" && fail "Xvfb outlived the wrapper"

echo "PASS"
