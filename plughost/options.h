// Reading the values of command-line options: numbers within their range,
// parameter settings and program numbers. Every error names the option.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "aeffect.h"

// The command line asks for something that cannot be done; the exit status is 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A finite number from `min` to `max`, e.g. for "--seconds".
double parseNumber(const std::string& option, const std::string& text, double min, double max);
// A whole number from `min` to `max`.
std::int64_t parseWhole(const std::string& option, const std::string& text, std::int64_t min,
                        std::int64_t max);

// "[M:]INDEX=VALUE": a parameter value for module M of a chain (counting
// from 1; the first when M is left out).
struct ParameterSetting {
    int module = 0;  // counting from 0
    aeLong index = 0;
    float value = 0.0f;
};
ParameterSetting parseParameterSetting(const std::string& option, const std::string& text);

// "[M:]N": the program to select on module M.
struct ProgramSetting {
    int module = 0;
    aeLong program = 0;
};
ProgramSetting parseProgramSetting(const std::string& option, const std::string& text);

// What one module of a chain is given before it runs.
struct ModuleSettings {
    aeLong program = -1;  // -1: the module's own
    std::vector<ParameterSetting> parameters;
};

// Sorts program and parameter settings by module; throws UsageError for a
// module number beyond the chain or a module given two programs.
std::vector<ModuleSettings> settingsPerModule(const std::vector<ProgramSetting>& programs,
                                              const std::vector<ParameterSetting>& parameters,
                                              std::size_t modules);
