#!/bin/sh
# Installs into a scratch DESTDIR under PREFIX /usr and /usr/local as the
# install target does: exactly the files the README lists, where it says;
# then the uninstall script with the same settings leaves none of them.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -eu
source=$1 build=$2
for prefix in /usr /usr/local; do
    stage=$(mktemp -d)
    DESTDIR=$stage cmake --install "$build" --prefix "$prefix" --strip >/dev/null
    files=$(cd "$stage" && find . \( -type f -o -type l \) | sort | tr '\n' ' ')
    p=".$prefix"
    expected="$p/bin/plughost $p/lib/lv2/zur.lv2/manifest.ttl $p/lib/lv2/zur.lv2/zur.ttl \
$p/lib/lv2/zur.lv2/zur_lv2.so $p/lib/zur/zur.so $p/share/bash-completion/completions/plughost \
$p/share/man/man1/plughost.1.gz "
    if [ "$files" != "$expected" ]; then
        echo "installed under $prefix: $files"
        echo "expected: $expected"
        exit 1
    fi
    "$stage$prefix/bin/plughost" info "$stage$prefix/lib/zur/zur.so" >/dev/null
    DESTDIR=$stage sh "$source/tools/uninstall.sh" "$build" "$prefix" >/dev/null
    left=$(cd "$stage" && find . \( -type f -o -type l \))
    if [ -n "$left" ]; then
        echo "left after uninstall under $prefix: $left"
        exit 1
    fi
    for own in lib/zur lib/lv2/zur.lv2; do
        if [ -d "$stage$prefix/$own" ]; then
            echo "folder $prefix/$own left after uninstall"
            exit 1
        fi
    done
    rm -rf "$stage"
done
