#include "completion.h"

#include <vector>

#include "kinds.h"
#include "loopOptions.h"

namespace {

// Options every subcommand has.
const char* const kOutputOptions =
    "-o --output --format --sample-rate --repeat --center-frequency --cf32-scale --datetime -h --help";
// Options that take no value, and negative numbers (values themselves); the
// table's flags join them.
const char* const kNoValue = "-h|--help|--help-all|--version|--describe-fields|--json|-[0-9.]*";
// `wavegen measure FILE`'s options.
const char* const kMeasureOptions =
    "--json --sample-rate --channel-bandwidth --channel-spacing --obw-percent --channel --mod --symbol-rate --rrc -h "
    "--help";

std::string words(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& w : list) text += (text.empty() ? "" : " ") + w;
    return text;
}

// The library's options of a kind (every kind's without one) and, for each
// choice, its names after it.
void addTableOptions(const KindTable* kind, std::vector<std::string>& options, std::string& valueCases) {
    for (const TableOption* o : optionsFor(kind)) {
        options.push_back(o->flag);
        if (!o->choices.empty())
            valueCases += "                " + o->flag + ") COMPREPLY=($(compgen -W \"" + words(o->choices) +
                          "\" -- \"$cur\")); return ;;\n";
    }
}

std::string noValuePattern() {
    std::string pattern = kNoValue;
    for (const TableOption& o : optionTable())
        if (o.info.type == GENSIGNAL_OPTION_TYPE_FLAG) pattern += "|" + o.flag;
    return pattern;
}

}  // namespace

std::string bashCompletion() {
    std::vector<std::string> kindNames;
    for (const KindTable& kind : allKinds()) kindNames.push_back(kind.name);
    kindNames.push_back("measure");
    const std::string kindPattern = [&] {
        std::string p;
        for (const std::string& k : kindNames) p += (p.empty() ? "" : "|") + k;
        return p;
    }();

    std::string s;
    s += "# bash completion for wavegen (made by wavegen from its field tables)\n";
    s += "_wavegen() {\n";
    s += "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\" kind=\"\" w\n";
    s += "    for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n";
    s += "        case \"$w\" in " + kindPattern + ") kind=\"$w\" ;; esac\n";
    s += "    done\n";
    s += "    case \"$prev\" in\n";
    s += "        -o|--output) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    s += "        --format) COMPREPLY=($(compgen -W \"sigmf raw cf32 wav\" -- \"$cur\")); return ;;\n";
    s += "        --cf32-scale) COMPREPLY=($(compgen -W \"32767 32768\" -- \"$cur\")); return ;;\n";
    s += "        --datetime) COMPREPLY=($(compgen -W \"now\" -- \"$cur\")); return ;;\n";
    s += "    esac\n";
    s += "    local options\n";
    s += "    case \"$kind\" in\n";
    for (const KindTable& kind : allKinds()) {
        std::vector<std::string> options;
        std::string valueCases;
        for (const Field& f : kind.fields) {
            const std::string option = "--" + optionName(f.name);
            options.push_back(option);
            std::vector<std::string> values;
            for (const auto& choice : f.choices) values.push_back(choice.first);
            if (f.type == FieldType::Flag) values = {"true", "false"};
            if (!values.empty())
                valueCases += "                " + option + ") COMPREPLY=($(compgen -W \"" + words(values) +
                              "\" -- \"$cur\")); return ;;\n";
        }
        addTableOptions(&kind, options, valueCases);
        s += "        " + kind.name + ")\n";
        if (!valueCases.empty()) s += "            case \"$prev\" in\n" + valueCases + "            esac\n";
        s += "            options=\"" + words(options) + " " + kOutputOptions + "\" ;;\n";
    }
    s += "        measure)\n";
    s += "            case \"$cur\" in -*) options=\"" + std::string(kMeasureOptions) + "\" ;;\n";
    s += "                *) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    s += "            esac ;;\n";
    std::vector<std::string> common;
    std::string commonCases;
    addTableOptions(nullptr, common, commonCases);
    s += "        *)\n";
    if (!commonCases.empty()) s += "            case \"$prev\" in\n" + commonCases + "            esac\n";
    s += "            options=\"" + words(kindNames) + " " + words(common) + " " + kOutputOptions +
         " --help-all --version --describe-fields\" ;;\n";
    s += "    esac\n";
    // After any other option that takes a value (a number, a name), offer nothing.
    s += "    case \"$prev\" in " + noValuePattern() + ") ;; -*) return ;; esac\n";
    s += "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n";
    s += "}\n";
    s += "complete -F _wavegen wavegen\n";
    return s;
}
