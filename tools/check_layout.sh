#!/bin/sh
# The rules of docs/hacking.md that a reshaping can break without a failing
# test: the layers below session/ include nothing from above them, no file of
# cli/ or session/ grows past 450 lines, no function past 80 (when Universal
# Ctags is there to find them). Prints each breach; exit status 1 when any.
cd "$(dirname "$0")/.." || exit 2
status=0
for dir in platform desktop formats store games engine archives update; do
    found=$(grep -rnE '#include "(ui|session|cli|window)/' "$dir" --include='*.h' --include='*.cpp')
    if [ -n "$found" ]; then
        echo "$dir/ reaches above itself:"
        echo "$found"
        status=1
    fi
done
for f in cli/*.cpp cli/*.h session/*.cpp session/*.h; do
    lines=$(wc -l <"$f")
    if [ "$lines" -gt 450 ]; then
        echo "$f has $lines lines (450 at most)"
        status=1
    fi
done
if command -v ctags >/dev/null 2>&1 && ctags --version 2>/dev/null | grep -q Universal; then
    long=$(tools/long_functions.sh 80)
    if [ -n "$long" ]; then
        echo "functions over 80 lines:"
        echo "$long"
        status=1
    fi
fi
exit $status
