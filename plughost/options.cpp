#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Splits "M:REST" into the module (counting from 0) and REST; no colon means
// the first module.
int splitModule(const std::string& option, const std::string& text, std::string& rest) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        rest = text;
        return 0;
    }
    rest = text.substr(colon + 1);
    return static_cast<int>(
        parseWhole(option + " '" + text + "': module", text.substr(0, colon), 1, 1000) - 1);
}

}  // namespace

double parseNumber(const std::string& option, const std::string& text, double min, double max) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0') throw UsageError(option + " '" + text + "' is not a number");
    if (!std::isfinite(v) && errno != ERANGE)
        throw UsageError(option + " " + text + " is not a finite number");
    if (!(v >= min && v <= max))
        throw UsageError(option + " " + text + " is out of range: " + shown(min) + " to " +
                         shown(max));
    return v;
}

std::int64_t parseWhole(const std::string& option, const std::string& text, std::int64_t min,
                        std::int64_t max) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (end == begin || *end != '\0') {
        const double d = std::strtod(begin, &end);
        if (end != begin && *end == '\0')
            throw UsageError(
                option + " " + text +
                (std::isfinite(d) ? " is not a whole number" : " is not a finite number"));
        throw UsageError(option + " '" + text + "' is not a number");
    }
    if (errno == ERANGE || v < min || v > max)
        throw UsageError(option + " " + text + " is out of range: " + std::to_string(min) + " to " +
                         std::to_string(max));
    return v;
}

ParameterSetting parseParameterSetting(const std::string& option, const std::string& text) {
    ParameterSetting s;
    std::string rest;
    s.module = splitModule(option, text, rest);
    const auto eq = rest.find('=');
    if (eq == std::string::npos)
        throw UsageError(option + " '" + text + "': expected [MODULE:]INDEX=VALUE, e.g. 5=0.5");
    s.index = static_cast<aeLong>(
        parseWhole(option + " '" + text + "': index", rest.substr(0, eq), INT32_MIN, INT32_MAX));
    // The module takes a 32-bit float; the range check guards the narrowing.
    s.value = static_cast<float>(
        parseNumber(option + " '" + text + "': value", rest.substr(eq + 1), -3.4e38, 3.4e38));
    return s;
}

ProgramSetting parseProgramSetting(const std::string& option, const std::string& text) {
    ProgramSetting s;
    std::string rest;
    s.module = splitModule(option, text, rest);
    s.program = static_cast<aeLong>(parseWhole(option, rest, 0, INT32_MAX));
    return s;
}

std::vector<ModuleSettings> settingsPerModule(const std::vector<ProgramSetting>& programs,
                                              const std::vector<ParameterSetting>& parameters,
                                              std::size_t modules) {
    std::vector<ModuleSettings> settings(modules);
    auto check = [modules](int module, const std::string& what) {
        if (static_cast<std::size_t>(module) >= modules)
            throw UsageError(what + " addresses module " + std::to_string(module + 1) +
                             ", but the chain has " + std::to_string(modules));
    };
    for (const ProgramSetting& p : programs) {
        check(p.module, "--program");
        if (settings[static_cast<std::size_t>(p.module)].program >= 0)
            throw UsageError("--program is given twice for module " + std::to_string(p.module + 1));
        settings[static_cast<std::size_t>(p.module)].program = p.program;
    }
    for (const ParameterSetting& p : parameters) {
        check(p.module, "--param");
        settings[static_cast<std::size_t>(p.module)].parameters.push_back(p);
    }
    return settings;
}
