#include "command.h"

#include <cstdio>

#include "report.h"

int reportErrors(const std::function<int()>& work) {
    try {
        return work();
    } catch (const Interrupted& e) {
        std::fprintf(stderr, "plughost: interrupted\n");
        return interruptedStatus(e.signal);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "plughost: error: %s (see --help)\n", e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plughost: error: %s\n", e.what());
        return kExitFailure;
    }
}

int runGuarded(const std::function<int()>& work,
               const std::function<void(const std::string& why)>& onCrash, int orphanSignal) {
    const ChildOutcome outcome =
        runInChild([&](std::string&) { return reportErrors(work); }, orphanSignal);
    if (!outcome.crashed()) return outcome.status;
    const std::string why = crashText(outcome.signal);
    std::fprintf(stderr, "plughost: error: %s\n", why.c_str());
    if (onCrash) onCrash(why);
    return kExitFailure;
}

void SettingsOptions::addTo(CLI::App& app, bool chain) {
    const std::string module = chain ? "[M:]" : "";
    const std::string which = chain ? " (M: the module of the chain, from 1; default 1)" : "";
    app.add_option("--program", programs, "select program " + module + "N first" + which)
        ->allow_extra_args(false);
    app.add_option("--param", parameters,
                   module + "INDEX=VALUE, one per --param, sent in order after the program")
        ->allow_extra_args(false);
}

std::vector<ModuleSettings> SettingsOptions::parse(std::size_t modules) const {
    std::vector<ProgramSetting> p;
    std::vector<ParameterSetting> v;
    for (const auto& text : programs) p.push_back(parseProgramSetting("--program", text));
    for (const auto& text : parameters) v.push_back(parseParameterSetting("--param", text));
    return settingsPerModule(p, v, modules);
}

void warnAboutParameter(const Plugin& plugin, aeLong index, float value, const std::string& what) {
    const bool announced = index >= 0 && index < plugin.record().numParams;
    if (!announced && !plugin.namesParameter(index))
        std::fprintf(stderr,
                     "plughost: warning: %s: parameter %d is neither announced nor named by the "
                     "module\n",
                     what.c_str(), static_cast<int>(index));
    if (!(value >= 0.0f && value <= 1.0f))
        std::fprintf(stderr, "plughost: warning: %s: the value %g is outside 0 to 1\n",
                     what.c_str(), static_cast<double>(value));
}

void applySettings(const Plugin& plugin, const ModuleSettings& settings,
                   const std::string& module) {
    if (settings.program >= 0) {
        if (settings.program >= plugin.record().numPrograms)
            throw HostError("--program " + std::to_string(settings.program) +
                            " is out of range: module '" + module + "' has " +
                            std::to_string(plugin.record().numPrograms) + " program(s)");
        plugin.dispatch(effSetProgram, 0, settings.program);
    }
    for (const ParameterSetting& p : settings.parameters) {
        warnAboutParameter(plugin, p.index, p.value,
                           "--param " + std::to_string(p.index) + "=" + shortestFloat(p.value));
        plugin.setParameter(p.index, p.value);
    }
}
