#!/bin/bash
# The manual pages the build writes from the programs' help: groff reads
# them without a warning, and tessvane-cli's page holds every command and
# option its completion offers (the two are written from the command table
# by different code).
set -u
man_folder=$1 completion=$2
command -v groff >/dev/null || { echo "groff is not installed: the pages were not read"; exit 77; }
fail=0
for page in "$man_folder"/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page: $warnings"; fail=1; }
done
# Lines long enough and no hyphenation: every term and text on one line.
page=$(groff -man -Tascii -P-cbou -rLL=400n -rHY=0 "$man_folder/tessvane-cli.1" 2>/dev/null)
source "$completion" || exit 1
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tessvane_cli
    printf '%s\n' "${COMPREPLY[@]}"
}
for command in $(offered tessvane-cli "" | grep -v "^-"); do
    grep -qE "^       $command( |$)" <<<"$page" || { echo "no entry for $command"; fail=1; }
    section=$(awk -v c="$command" '/^       [a-z]/ {on = $1 == c} /^[A-Z]/ {on = 0} on' <<<"$page")
    for option in $(offered tessvane-cli "$command" -- | grep -vx -- --help); do
        grep -q -- "$option" <<<"$section" || { echo "$command: $option is not in its entry"; fail=1; }
    done
done
exit $fail
