#!/bin/bash
# What software centres read of the programs: the metainfo passes the
# validator strictly, names a desktop entry that is shipped and valid, and
# shows pictures the source tree holds, and its release is this version.
set -u
source=$1 version=$2 date=$3
metainfo=$source/assets/metainfo
command -v appstreamcli >/dev/null || { echo "appstreamcli is not installed (Debian's appstream): not validated"; exit 77; }
fail=0
appstreamcli validate --strict --no-net "$metainfo"/*.metainfo.xml || fail=1
for file in "$metainfo"/*.metainfo.xml; do
    id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$file")
    entry=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$file")
    [ "$entry" = "$id.desktop" ] || { echo "$file: launches '$entry', not $id.desktop"; fail=1; }
    grep -q "<release version=\"$version\" date=\"$date\"/>" "$file" ||
        { echo "$file: its first release is not $version of $date"; fail=1; }
    desktop-file-validate "$source/assets/desktop/$entry" || fail=1
    grep -q '^Keywords=.' "$source/assets/desktop/$entry" || { echo "$entry has no Keywords"; fail=1; }
    for picture in $(sed -n 's|.*<image>.*/\([^/]*\)</image>.*|\1|p' "$file"); do
        [ -s "$source/assets/screenshots/$picture" ] || { echo "$file shows $picture, which is not in assets/screenshots"; fail=1; }
    done
done
exit $fail
