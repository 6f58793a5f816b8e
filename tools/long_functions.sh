#!/bin/sh
# Lists the functions of the program's own code longer than a limit (80 lines
# unless given), longest first. Needs Universal Ctags.
limit=${1:-80}
cd "$(dirname "$0")/.." || exit 1
ctags -R --languages=C++ --kinds-C++=f --fields=+ne -f - \
    --exclude=build --exclude='build-*' --exclude=tests --exclude=bench --exclude=fuzz . 2>/dev/null |
    awk -F'\t' -v limit="$limit" '{
        line = ""; end = ""
        for (i = 4; i <= NF; i++) {
            if ($i ~ /^line:/) line = substr($i, 6)
            if ($i ~ /^end:/) end = substr($i, 5)
        }
        if (end != "" && end - line + 1 > limit) print end - line + 1, $2 ":" line, $1
    }' | sort -rn
