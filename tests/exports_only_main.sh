#!/bin/sh
# Passes when the module's dynamic symbol table defines `main` and nothing else.
symbols=$(nm -D --defined-only "$1" | awk '{print $NF}' | sort | tr '\n' ' ')
[ "$symbols" = "main " ] && exit 0
echo "exported: $symbols"
exit 1
