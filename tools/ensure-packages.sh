#!/bin/sh
# Makes sure the named Debian packages are installed. As root it installs the
# missing ones; otherwise it names them and the line that installs them.
set -eu
missing=""
for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
    echo "Installing missing Debian packages:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
else
    echo "Missing Debian packages:$missing" >&2
    echo "Install them with: sudo apt-get install -y$missing" >&2
    exit 1
fi
