#!/bin/sh
# Checks build/zur_<version>_<arch>.deb as a user meets it: its contents, then
# installed with dpkg, the installed plughost run on the installed module and
# the installed LV2 bundle found by LV2 hosts; then the package is purged and
# the machine is as it was. Refuses to run where a zur package is installed.
set -eu
deb=$(ls build/zur_*_*.deb)
expected="./usr/bin/plughost ./usr/lib/lv2/zur.lv2/manifest.ttl ./usr/lib/lv2/zur.lv2/zur.ttl \
./usr/lib/lv2/zur.lv2/zur_lv2.so ./usr/lib/zur/zur.so ./usr/share/bash-completion/completions/plughost \
./usr/share/man/man1/plughost.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort | tr '\n' ' ')
if [ "$files" != "$expected " ]; then
    echo "package-check: $deb holds: $files"
    exit 1
fi
if dpkg-query -W zur >/dev/null 2>&1; then
    echo "package-check: a zur package is installed here already; not touching it"
    exit 1
fi
trap 'dpkg --purge zur >/dev/null 2>&1 || true' EXIT
dpkg -i "$deb"
version=$(dpkg-deb -f "$deb" Version)
test "$(/usr/bin/plughost --version)" = "plughost $version"
/usr/bin/plughost info /usr/lib/zur/zur.so
/usr/bin/plughost validate /usr/lib/zur/zur.so
lv2ls 2>/dev/null | grep -qx urn:zur-effects:zur
man -w plughost >/dev/null
dpkg --purge zur
trap - EXIT
for left in /usr/bin/plughost /usr/lib/zur /usr/lib/lv2/zur.lv2 /usr/share/man/man1/plughost.1.gz \
            /usr/share/bash-completion/completions/plughost; do
    if [ -e "$left" ]; then
        echo "package-check: $left is still there after the package was purged"
        exit 1
    fi
done
echo "package-check: $deb installed, used and purged"
