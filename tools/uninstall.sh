#!/bin/sh
# Removes what `cmake --install` puts under PREFIX (and DESTDIR): the files are
# listed by installing into a scratch folder, so the list is the one of these
# settings, whatever was installed before. Folders of the project's own are
# removed once empty; shared ones (bin, share/man, lib/lv2) stay.
# Usage: uninstall.sh BUILD_DIR PREFIX   (DESTDIR from the environment)
set -eu
build=$1 prefix=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
(cd "$stage" && find . \( -type f -o -type l \) -print) | while read -r file; do
    target="${DESTDIR:-}/${file#./}"
    if [ -e "$target" ] || [ -L "$target" ]; then
        rm -f "$target"
        echo "-- Removed: $target"
    fi
done
for own in lib/zur lib/lv2/zur.lv2; do
    rmdir "${DESTDIR:-}$prefix/$own" 2>/dev/null || true
done
