# shellcheck shell=bash
# Sourced by the wrappers that run a command against an X server of its own (with-xvfb.sh,
# with-dummy-xorg.sh), and by their checks. Defines functions only.

# Asks bash's own job table: unlike kill -0, it cannot mistake an unrelated process that reused
# the pid for our child.
is_running() {
    local pid
    for pid in $(jobs -rp); do
        [[ $pid == "$1" ]] && return 0
    done
    return 1
}

terminate() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        is_running "$pid" || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# A folder for the session's files, $x_workdir, which goes, as the server and the command do,
# when the script ends in any way.
open_x_session() {
    local script=${0##*/}
    x_workdir=$(mktemp -d "${TMPDIR:-/tmp}/${script%.sh}.XXXXXX")
    x_server_pid=
    x_command_pid=
    # Bash runs this also when INT, TERM or HUP ends the script.
    trap close_x_session EXIT
}

close_x_session() {
    if [[ -n $x_command_pid ]]; then terminate "$x_command_pid"; fi
    if [[ -n $x_server_pid ]]; then terminate "$x_server_pid"; fi
    rm -rf "$x_workdir"
}

# Usage: start_x_server SERVER [ARGS...]
#
# After open_x_session: starts the X server SERVER in the background and sets DISPLAY to the
# display it picked, or exits with 1 and the server's logs ($x_workdir/*.log) if it reported
# none within 10 s.
start_x_server() {
    # The server picks a free display itself and writes its number, followed by a newline, to
    # the fd once it accepts connections; that is what makes parallel runs safe. -noreset keeps
    # it when its last client leaves. Its output goes to a file: killed with the test, the script
    # could leave the server holding the caller's pipe.
    mkfifo "$x_workdir/displayfd"
    "$@" -displayfd 3 -noreset -nolisten tcp \
        3>"$x_workdir/displayfd" >"$x_workdir/output.log" 2>&1 </dev/null &
    x_server_pid=$!
    local display_number=
    read -r -t 10 display_number <"$x_workdir/displayfd" || true
    if [[ ! $display_number =~ ^[0-9]+$ ]]; then
        echo "${0##*/}: $1 reported no display within 10 s:" >&2
        cat "$x_workdir"/*.log >&2
        exit 1
    fi
    export DISPLAY=":$display_number"
}

# Usage: run_x_client COMMAND [ARGS...]
#
# Runs COMMAND against the server, without a session bus, and exits with its exit status.
run_x_client() {
    # Without a session bus, Qt's tray icon takes the XEmbed path that the tests can host.
    unset DBUS_SESSION_BUS_ADDRESS
    # In the background so that signals reach the trap at once; a background command would
    # otherwise read from /dev/null.
    "$@" <&0 &
    x_command_pid=$!
    local status=0
    wait "$x_command_pid" || status=$?
    x_command_pid=
    exit "$status"
}
