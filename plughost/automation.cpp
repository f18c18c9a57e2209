#include "automation.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "module.h"
#include "options.h"

std::vector<AutomationEvent> readAutomation(const std::string& path, double sampleRate) {
    const std::string file = "automation file '" + path + "'";
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw HostError("cannot read " + file + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw HostError("cannot read " + file + ": it is a folder");
    std::ifstream in(path);
    if (!in) throw HostError("cannot read " + file + ": " + std::strerror(errno));

    std::vector<AutomationEvent> events;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = file + ", line " + std::to_string(number);
        std::istringstream fields(line.substr(0, line.find('#')));
        std::vector<std::string> words;
        for (std::string w; fields >> w;) words.push_back(w);
        if (words.empty()) continue;
        if (words.size() != 3)
            throw HostError(where + ": expected SECONDS [MODULE:]INDEX VALUE, got " +
                            std::to_string(words.size()) + " field(s)");
        try {
            const double seconds = parseNumber("time", words[0], -1e9, 1e9);
            if (seconds < 0.0) throw UsageError("time " + words[0] + " is negative");
            const ParameterSetting p =
                parseParameterSetting("parameter", words[1] + "=" + words[2]);
            events.push_back(
                {std::llround(seconds * sampleRate), p.module, p.index, p.value, number});
        } catch (const UsageError& e) {
            throw HostError(where + ": " + e.what());
        }
    }
    if (in.bad()) throw HostError("cannot read " + file + ": " + std::strerror(errno));
    std::stable_sort(
        events.begin(), events.end(),
        [](const AutomationEvent& a, const AutomationEvent& b) { return a.frame < b.frame; });
    return events;
}
