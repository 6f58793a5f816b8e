#!/bin/bash
# fish and zsh load the completion tessvane-cli writes for them and offer its
# commands; a shell that is not installed is said and skipped (exit 77).
set -u
folder=$1
PATH=$(dirname "$2"):$PATH
tried=0
fail=0
if command -v fish >/dev/null; then
    tried=1
    got=$(fish --no-config -c "source $folder/fish/tessvane-cli.fish; complete -C 'tessvane-cli ne'" | cut -f1 | sort | tr '\n' ' ')
    [ "$got" = "needs never-move " ] || { echo "fish offers '$got'"; fail=1; }
    got=$(fish --no-config -c "source $folder/fish/tessvane-cli.fish; complete -C 'tessvane-cli scan --st'" | cut -f1 | tr '\n' ' ')
    [ "$got" = "--state " ] || { echo "fish offers '$got' for scan --st"; fail=1; }
else
    echo "fish is not installed: its completion is not tried"
fi
if command -v zsh >/dev/null; then
    tried=1
    # Loaded into zsh, the script defines its function and registers it.
    zsh -f -c "autoload -U compinit && compinit -u; source $folder/zsh/_tessvane-cli; (( \$+functions[_tessvane_cli] )) && [[ \${_comps[tessvane-cli]} == _bash_complete* ]]" ||
        { echo "zsh did not take the completion"; fail=1; }
else
    echo "zsh is not installed: its completion is not tried"
fi
[ $tried = 0 ] && exit 77
exit $fail
