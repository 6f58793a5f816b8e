#include "completions.h"

#include <algorithm>
#include <cctype>

namespace tv::cli {

std::vector<std::string> optionsOf(const Command& command) {
    std::vector<std::string> options;
    const std::string help = command.help();
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < help.size() &&
               (std::islower(static_cast<unsigned char>(help[end])) || help[end] == '-'))
            ++end;
        const std::string option = help.substr(at, end - at);
        if (option.size() > 2 && std::find(options.begin(), options.end(), option) == options.end())
            options.push_back(option);
        at = end - 2;
    }
    return options;
}

namespace {

// The script around the generated parts: the word being completed, the
// command typed so far, the values of the options that take one; after a
// command's options, archives for zip and cache entry names for needs.
const char* const kScriptHead =
    R"SCRIPT(# bash completion for tessvane-cli, written by tessvane-cli --completion bash
_tessvane_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD-1]}
    local program=${COMP_WORDS[0]} command= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --game | --cache) ((i++)) ;;
        -*) ;;
        *)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done
    local IFS=$'\n'
    case $prev in
    --game)
        COMPREPLY=($(compgen -W "$("$program" games 2>/dev/null | cut -f1)" -- "$cur") $(compgen -d -- "$cur"))
        return
        ;;
    --cache | --to | --to-structured)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --only)
        COMPREPLY=($(compgen -W "$("$program" scan 2>/dev/null | sed '$d' | cut -f2)" -- "$cur"))
        return
        ;;
    esac
    local options=
    case $command in
    '')
        COMPREPLY=($(compgen -W "$(printf -- ')SCRIPT";

const char* const kScriptTail = R"SCRIPT(
    esac
    case $command in
    zip) COMPREPLY=($(compgen -W "$options" -- "$cur") $(compgen -f -X '!*.@(zip|ZIP|umod|ut2mod|ut4mod)' -- "$cur") $(compgen -d -- "$cur")) ;;
    needs | check) COMPREPLY=($(compgen -W "$options" -- "$cur") $(compgen -W "$("$program" scan 2>/dev/null | sed '$d' | cut -f2)" -- "$cur")) ;;
    *) COMPREPLY=($(compgen -W "$options" -- "$cur")) ;;
    esac
}
[ -n "${BASH_VERSION-}" ] && shopt -s extglob
complete -o filenames -F _tessvane_cli tessvane-cli
)SCRIPT";

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words)
        out += (out.empty() ? "" : "\\n") + w;
    return out;
}

} // namespace

std::string bashCompletion(const std::vector<const Command*>& commands) {
    std::vector<std::string> names;
    for (const Command* c : commands)
        names.push_back(c->name());
    for (const char* global : {"--game", "--cache", "--help", "--version"})
        names.emplace_back(global);
    std::string script =
        kScriptHead + joined(names) + "')\" -- \"$cur\"))\n        return\n        ;;\n";
    for (const Command* c : commands) {
        std::vector<std::string> options = optionsOf(*c);
        options.emplace_back("--help");
        script += "    " + std::string(c->name()) + ") options=$(printf -- '" + joined(options) +
                  "') ;;\n";
    }
    return script + kScriptTail;
}

std::string fishCompletion(const std::vector<const Command*>& commands) {
    const std::string c = "complete -c tessvane-cli ";
    const std::string names = "(tessvane-cli scan 2>/dev/null | sed '$d' | cut -f2)";
    std::string all;
    for (const Command* command : commands)
        all += (all.empty() ? "" : " ") + std::string(command->name());
    std::string script =
        "# fish completion for tessvane-cli, written by tessvane-cli --completion fish\n" + c +
        "-f\n" + c + "-n __fish_use_subcommand -a '" + all + "'\n" + c +
        "-n __fish_use_subcommand -l game -r -f -a '(tessvane-cli games 2>/dev/null | cut -f1)'\n" +
        c + "-n __fish_use_subcommand -l cache -r -F\n" + c + "-l help\n" + c +
        "-n __fish_use_subcommand -l version\n";
    for (const Command* command : commands) {
        const std::string when =
            "-n '__fish_seen_subcommand_from " + std::string(command->name()) + "' ";
        for (const std::string& option : optionsOf(*command))
            script += c + when + "-l " + option.substr(2) + "\n";
    }
    script += c + "-n '__fish_seen_subcommand_from run' -l only -r -f -a \"" + names + "\"\n";
    script += c + "-n '__fish_seen_subcommand_from needs check' -f -a \"" + names + "\"\n";
    script += c + "-n '__fish_seen_subcommand_from zip' -F\n";
    return script;
}

std::string zshCompletion(const std::vector<const Command*>& commands) {
    // zsh runs the bash completion through its own bashcompinit.
    return "#compdef tessvane-cli\n"
           "# zsh completion for tessvane-cli, written by tessvane-cli --completion zsh\n"
           "autoload -U +X bashcompinit && bashcompinit\n" +
           bashCompletion(commands);
}

} // namespace tv::cli
