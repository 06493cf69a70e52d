#!/bin/sh
# /usr/bin/hlx-config: runs the installed utility in a working folder of the user's own. The
# utility keeps its settings in its working folder and finds the demo and the screen
# capturer beside it, in ../demo and ../Pictor; where it is installed, nothing is writable.
set -eu

# Found from where this script really is, so that a tree installed elsewhere (DESTDIR) runs
# as it is.
here=$(dirname -- "$(readlink -f -- "$0")")
installed=$(cd -- "$here/../lib/hlx-config" && pwd -P)

# An unset, empty or relative XDG_DATA_HOME counts as unset.
case ${XDG_DATA_HOME:-} in
/*) data_home=$XDG_DATA_HOME ;;
*) data_home=${HOME:?}/.local/share ;;
esac
work=$data_home/hlx-config

mkdir -p -- "$work/bin"
for companion in demo Pictor; do
    link=$work/$companion
    # Something the user put there instead is theirs; only a link is kept up to date.
    if [ -L "$link" ] || [ ! -e "$link" ]; then
        if [ "$(readlink -- "$link" || true)" != "$installed/$companion" ]; then
            ln -sfn -- "$installed/$companion" "$link"
        fi
    fi
done

cd -- "$work/bin"
exec "$installed/bin/hlx-config" "$@"
