// Parameter changes at exact frames, read from a file of lines
// "SECONDS [MODULE:]INDEX VALUE".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aeffect.h"

struct AutomationEvent {
    std::int64_t frame;
    int module;  // counting from 0
    aeLong index;
    float value;
    int line;  // where it stands in the file
};

// Reads the file. '#' starts a comment, to the end of its line; blank lines
// are skipped. Events may stand in any order: they come back in time order,
// ties in file order. Throws HostError naming the line and the field that is
// wrong.
std::vector<AutomationEvent> readAutomation(const std::string& path, double sampleRate);
