// What the commands of the host program share: how a command is added to
// the command line, how its work runs (in a child process, with every error
// reported as one line and an exit status), and how programs and parameters
// reach a module.
//
// Exit status: 0 success, 1 failure, 2 bad usage, 128 + N after signal N
// (130 after Ctrl-C); `validate` answers 3 for a file that is not a module.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "module.h"
#include "options.h"

// A command: its options are on `app`; run() does the work once the command
// line is parsed and answers the exit status.
struct Command {
    CLI::App* app;
    std::function<int()> run;
};

Command addInfoCommand(CLI::App& app);
Command addRenderCommand(CLI::App& app);
Command addBenchCommand(CLI::App& app);
Command addValidateCommand(CLI::App& app);
Command addListCommand(CLI::App& app);

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotAModule = 3;

// Runs `work`, reporting what it throws as one line on standard error and
// answering the exit status for it.
int reportErrors(const std::function<int()>& work);

// Runs `work` in a child process through reportErrors. When the module
// crashes the child, `onCrash` gets the reason (after the one-line message).
// `orphanSignal` is what the child gets should plughost die first (see
// runInChild).
int runGuarded(const std::function<int()>& work,
               const std::function<void(const std::string& why)>& onCrash = nullptr,
               int orphanSignal = SIGKILL);

// Adds the repeatable --program and --param options of one or more modules.
struct SettingsOptions {
    std::vector<std::string> programs, parameters;
    void addTo(CLI::App& app, bool chain);
    std::vector<ModuleSettings> parse(std::size_t modules) const;
};

// Selects the program and sends the parameter values, in that order, with a
// warning for a value outside 0 to 1 and for an index the module neither
// announces nor names. Throws HostError for a program beyond the module's.
void applySettings(const Plugin& plugin, const ModuleSettings& settings, const std::string& module);

// Warns about a value that a module may not expect; used for automation too.
void warnAboutParameter(const Plugin& plugin, aeLong index, float value, const std::string& what);
