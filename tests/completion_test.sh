#!/bin/bash
# The bash completion tessvane-cli writes: loaded, it completes commands,
# a command's options and the game numbers `games` lists.
set -u
script=$1
cli_folder=$(dirname "$2")
PATH=$cli_folder:$PATH
source "$script" || exit 1
complete -p tessvane-cli >/dev/null || { echo "not registered"; exit 1; }
said() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tessvane_cli
    printf '%s ' "${COMPREPLY[@]}"
}
fail=0
expect() {
    local got=$1 want=$2
    [ "$got" = "$want" ] || { echo "got '$got', wanted '$want'"; fail=1; }
}
expect "$(said tessvane-cli ne)" "needs never-move "
expect "$(said tessvane-cli --game 2 sc)" "scan "
expect "$(said tessvane-cli scan --s)" "--select --state "
expect "$(said tessvane-cli undo --l)" "--list "
exit $fail
