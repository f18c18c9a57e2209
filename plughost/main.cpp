// plughost: a command-line host for effect modules of this interface. It
// loads a module as a studio host does and uses only what the record offers.
// Each command lives in a file of its own; command.h says what they share.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <vector>

#include "command.h"

int main(int argc, char** argv) {
    CLI::App app{
        "plughost: load effect modules, inspect them, render audio through them and "
        "check them"};
    app.name("plughost");
    app.set_version_flag("--version", "plughost " ZUR_VERSION);
    app.require_subcommand(1);
    const std::vector<Command> commands = {addInfoCommand(app), addRenderCommand(app),
                                           addBenchCommand(app), addValidateCommand(app),
                                           addListCommand(app)};
    if (argc <= 1) {
        std::cout << app.help();
        return 0;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::fprintf(stderr, "plughost: error: %s (see --help)\n", e.what());
        return kExitUsage;
    }

    catchInterruptions();
    for (const Command& c : commands)
        if (*c.app) return reportErrors(c.run);
    return kExitUsage;
}
