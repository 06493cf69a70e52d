#!/usr/bin/env bash
# Usage: build-tree.sh record|compare BUILD_DIR
#
# Tests work in folders of their own: the build folder holds what the build put there and
# nothing more. `record` notes every path under BUILD_DIR before the tests, `compare` fails
# naming each path that the tests added or took away. CTest's own Testing/ folder is not
# the build's, nor are the lists of installed files that CMake writes beside its install
# script whenever a test installs or packages the build (wherever the install goes).
set -euo pipefail
mode=${1:?usage: ${0##*/} record|compare BUILD_DIR}
build=${2:?usage: ${0##*/} record|compare BUILD_DIR}
record=$build/Testing/build-tree.txt

listing() {
    (cd "$build" && find . -path ./Testing -prune -o ! -path './install_manifest*.txt' -print |
        LC_ALL=C sort)
}

case $mode in
record)
    mkdir -p "$build/Testing"
    listing >"$record"
    ;;
compare)
    changes=$(listing | { diff "$record" - || true; } | sed -n 's/^> /added: /p; s/^< /removed: /p')
    if [[ -n $changes ]]; then
        echo "The tests changed the build folder $build:" >&2
        echo "$changes" >&2
        exit 1
    fi
    ;;
*)
    echo "usage: ${0##*/} record|compare BUILD_DIR" >&2
    exit 2
    ;;
esac
