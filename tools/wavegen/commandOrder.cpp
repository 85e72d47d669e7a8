#include "commandOrder.h"

std::string optionBeforeCommand(const CLI::App& app, const CLI::App& command) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() == 0) continue;
        const std::string name = command.get_name();
        return option->get_name() + ": given before " + name + ", which takes its own options after it (wavegen " +
               name + " --help lists them)";
    }
    return {};
}
