// The `info` command: the record, every announced parameter with its value
// and texts, and every program's name, read after the program and parameter
// values asked for, so that a user can see what a setting means.
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "report.h"

namespace {

struct Args {
    std::string module;
    bool json = false;
    SettingsOptions settings;
};

struct Parameter {
    aeLong index;
    std::string name, label, display;
    float value;
};

std::vector<Parameter> parametersOf(const Plugin& plugin) {
    std::vector<Parameter> params;
    for (aeLong i = 0; i < plugin.record().numParams; ++i)
        params.push_back({i, plugin.parameterName(i), plugin.parameterLabel(i),
                          plugin.parameterDisplay(i), plugin.getParameter(i)});
    return params;
}

// Selecting each program is the only way to read its name; the current
// program is selected again afterwards.
std::vector<std::string> programNamesOf(const Plugin& plugin) {
    std::vector<std::string> names;
    const auto current = static_cast<aeLong>(plugin.dispatch(effGetProgram));
    for (aeLong p = 0; p < plugin.record().numPrograms; ++p) {
        plugin.dispatch(effSetProgram, 0, p);
        names.push_back(plugin.programName());
    }
    plugin.dispatch(effSetProgram, 0, current);
    return names;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string magicText(const AEffect& e) {
    char magic[16];
    std::snprintf(magic, sizeof magic, "0x%08X", static_cast<unsigned>(e.magic));
    return magic;
}

// A text exactly as the module wrote it, and trimmed beside it.
std::string jsonTexts(const char* key, const std::string& text) {
    return "\"" + std::string(key) + "\": " + jsonString(text) + ", \"" + key +
           "Trimmed\": " + jsonString(trimmed(text));
}

std::string describe(const Args& a, const Plugin& plugin) {
    const AEffect& e = plugin.record();
    const auto program = static_cast<aeLong>(plugin.dispatch(effGetProgram));
    const auto params = parametersOf(plugin);  // before the program walk changes them
    const auto programs = programNamesOf(plugin);
    const auto flags = flagNames(e.flags);
    std::ostringstream out;

    if (a.json) {
        out << "{\n  \"module\": " << jsonString(a.module)
            << ",\n  \"magic\": " << jsonString(magicText(e)) << ",\n  \"uniqueID\": " << e.uniqueID
            << ",\n  \"uniqueIDText\": " << jsonString(fourCharText(e.uniqueID))
            << ",\n  \"version\": " << e.version << ",\n  \"inputs\": " << e.numInputs
            << ",\n  \"outputs\": " << e.numOutputs << ",\n  \"flags\": " << e.flags
            << ",\n  \"flagNames\": [";
        for (std::size_t i = 0; i < flags.size(); ++i)
            out << (i ? ", " : "") << jsonString(flags[i]);
        out << "],\n  \"program\": " << program << ",\n  \"parameters\": [";
        for (std::size_t i = 0; i < params.size(); ++i) {
            const Parameter& p = params[i];
            out << (i ? "," : "") << "\n    {\"index\": " << p.index << ", "
                << jsonTexts("name", p.name) << ", " << jsonTexts("label", p.label)
                << ", \"value\": " << jsonNumber(p.value) << ", " << jsonTexts("display", p.display)
                << "}";
        }
        out << "\n  ],\n  \"programs\": [";
        for (std::size_t i = 0; i < programs.size(); ++i)
            out << (i ? "," : "") << "\n    {\"index\": " << i << ", "
                << jsonTexts("name", programs[i]) << "}";
        out << "\n  ]\n}\n";
        return out.str();
    }

    std::string flagText = std::to_string(e.flags);
    for (const auto& f : flags) flagText += " " + f;
    out << table(
        {{"module", a.module},
         {"magic", magicText(e)},
         {"identifier", quoted(fourCharText(e.uniqueID)) + " (" + std::to_string(e.uniqueID) + ")"},
         {"version", std::to_string(e.version)},
         {"inputs", std::to_string(e.numInputs)},
         {"outputs", std::to_string(e.numOutputs)},
         {"flags", flagText},
         {"program", std::to_string(program)}},
        {});
    std::vector<std::vector<std::string>> rows = {{"index", "name", "label", "value", "display"}};
    for (const Parameter& p : params)
        rows.push_back({std::to_string(p.index), quoted(p.name), quoted(p.label),
                        shortestFloat(p.value), quoted(p.display)});
    out << "\nparameters (" << params.size() << ")\n" << table(rows, {true});
    rows = {{"index", "name"}};
    for (std::size_t i = 0; i < programs.size(); ++i)
        rows.push_back({std::to_string(i), quoted(programs[i])});
    out << "\nprograms (" << programs.size() << ")\n" << table(rows, {true});
    return out.str();
}

std::string jsonError(const std::string& module, const std::string& why) {
    return "{\n  \"module\": " + jsonString(module) + ",\n  \"error\": " + jsonString(why) +
           "\n}\n";
}

int runInfo(const Args& a) {
    const ModuleSettings settings = a.settings.parse(1).front();
    return runGuarded(
        [&] {
            try {
                LoadedModule module(a.module);
                Plugin plugin(module);
                applySettings(plugin, settings, a.module);
                std::cout << describe(a, plugin);
                return 0;
            } catch (const std::exception& e) {
                if (a.json) std::cout << jsonError(a.module, e.what());
                throw;
            }
        },
        [&](const std::string& why) {
            if (a.json) std::cout << jsonError(a.module, why);
        });
}

}  // namespace

Command addInfoCommand(CLI::App& app) {
    auto args = std::make_shared<Args>();
    auto* info = app.add_subcommand(
        "info", "describe the record, the parameters with their values and texts, the programs");
    info->add_option("MODULE", args->module, "the module file")->required();
    info->add_flag("--json", args->json, "print JSON for scripts (also when loading fails)");
    args->settings.addTo(*info, false);
    return {info, [args] { return runInfo(*args); }};
}
