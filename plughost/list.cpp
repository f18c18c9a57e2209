// The `list` command: every module in a folder and below it, each loaded in a
// child process of its own, so that a file that fails or crashes is listed as
// such and the listing goes on.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "report.h"

namespace fs = std::filesystem;

namespace {

struct Args {
    std::string folder;
    bool json = false;
};

struct Entry {
    std::string path;
    std::string problem;  // empty for a module
    std::string identifier;
    aeLong id = 0, inputs = 0, outputs = 0, params = 0, programs = 0;
};

// Module files: shared objects, by their name.
std::vector<std::string> candidates(const std::string& folder) {
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (error) throw HostError("cannot list '" + folder + "': " + error.message());
    if (!fs::is_directory(status))
        throw HostError("cannot list '" + folder + "': it is not a folder");
    std::vector<std::string> paths;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path& p = it->path();
        if (p.extension() == ".so" && it->is_regular_file(error)) paths.push_back(p.string());
    }
    if (error) throw HostError("cannot list '" + folder + "': " + error.message());
    std::sort(paths.begin(), paths.end());
    return paths;
}

Entry probe(const std::string& path) {
    const ChildOutcome child = runInChild([&](std::string& report) {
        try {
            LoadedModule module(path);
            Plugin plugin(module);
            const AEffect& e = plugin.record();
            std::ostringstream out;
            out << e.uniqueID << ' ' << e.numInputs << ' ' << e.numOutputs << ' ' << e.numParams
                << ' ' << e.numPrograms;
            report = "module " + out.str();
        } catch (const std::exception& ex) {
            report = std::string("problem ") + ex.what();
        }
        return 0;
    });
    Entry entry;
    entry.path = path;
    if (child.crashed()) {
        entry.problem = crashText(child.signal);
    } else if (child.report.rfind("module ", 0) == 0) {
        std::istringstream in(child.report.substr(7));
        in >> entry.id >> entry.inputs >> entry.outputs >> entry.params >> entry.programs;
        entry.identifier = fourCharText(entry.id);
    } else if (child.report.rfind("problem ", 0) == 0) {
        entry.problem = child.report.substr(8);
    } else {
        entry.problem = "the check ended without an answer";
    }
    return entry;
}

int runList(const Args& a) {
    std::vector<Entry> entries;
    for (const std::string& path : candidates(a.folder)) {
        entries.push_back(probe(path));
        checkInterrupted();
    }
    if (a.json) {
        std::cout << "{\"folder\": " << jsonString(a.folder) << ", \"modules\": [";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            std::cout << (i ? "," : "") << "\n  {\"path\": " << jsonString(e.path);
            if (e.problem.empty())
                std::cout << ", \"uniqueID\": " << e.id
                          << ", \"uniqueIDText\": " << jsonString(e.identifier)
                          << ", \"inputs\": " << e.inputs << ", \"outputs\": " << e.outputs
                          << ", \"parameters\": " << e.params << ", \"programs\": " << e.programs
                          << "}";
            else
                std::cout << ", \"error\": " << jsonString(e.problem) << "}";
        }
        std::cout << "\n]}\n";
        return 0;
    }
    std::vector<std::vector<std::string>> modules = {
        {"module", "identifier", "inputs", "outputs", "parameters", "programs"}};
    std::vector<std::vector<std::string>> others = {{"file", "why it is not listed as a module"}};
    for (const Entry& e : entries)
        if (e.problem.empty())
            modules.push_back({e.path, "'" + e.identifier + "'", std::to_string(e.inputs),
                               std::to_string(e.outputs), std::to_string(e.params),
                               std::to_string(e.programs)});
        else
            others.push_back({e.path, e.problem});
    if (entries.empty()) std::cout << "no module files (*.so) found\n";
    if (modules.size() > 1) std::cout << table(modules, {false, false, true, true, true, true});
    if (others.size() > 1) std::cout << (modules.size() > 1 ? "\n" : "") << table(others, {});
    return 0;
}

}  // namespace

Command addListCommand(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* l = app.add_subcommand(
        "list",
        "list every module (*.so) in a folder and below it, with its identifier, "
        "channels, parameters and programs");
    l->add_option("FOLDER", a->folder, "the folder to search")->required();
    l->add_flag("--json", a->json, "print JSON for scripts");
    return {l, [a] { return runList(*a); }};
}
