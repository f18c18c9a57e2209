// The numbers a host sends and receives, written here from the interface's
// tables instead of being taken from the module's own header: a wrong number
// there cannot then pass unnoticed, since the tests speak to the module the
// way a host does.
#pragma once

#include <cstdint>

namespace op {  // dispatcher requests
inline constexpr std::int32_t open = 0, close = 1, setProgram = 2, getProgram = 3,
                              setProgramName = 4, getProgramName = 5, getParamLabel = 6,
                              getParamDisplay = 7, getParamName = 8, getVu = 9, setSampleRate = 10,
                              setBlockSize = 11, mainsChanged = 12, editGetRect = 13, editOpen = 14,
                              editClose = 15, editIdle = 19, identify = 22;
}  // namespace op

namespace master {  // host callback requests
inline constexpr std::int32_t automate = 0, version = 1, currentId = 2, idle = 3, pinConnected = 4;
}  // namespace master
