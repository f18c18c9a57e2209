// The `validate` command: a module checked from outside, through its record
// only, category by category.
#pragma once

#include <ostream>

#include "module.h"

// Runs every category and reports each as passed or failed with the reason.
// Answers true when all passed.
bool validateModule(const LoadedModule& module, bool json, std::ostream& out);
