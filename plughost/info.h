// The `info` and `bench` commands.
#pragma once

#include <ostream>

#include "module.h"

// Describes the record, every announced parameter and every program's name.
void printInfo(const Plugin& plugin, bool json, std::ostream& out);

// Frames per second of each processing kind, from a warm run of at least
// `seconds` per kind.
void printBench(const Plugin& plugin, double sampleRate, aeLong blockSize, double seconds,
                std::ostream& out);
