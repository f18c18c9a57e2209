// The dispatcher: decodes the host's numbered control requests into calls of
// the virtual operations.
#include "aeffeditor.h"
#include "audioeffect.h"
#include "numeric.h"

aeLong AudioEffect::dispatcher(aeLong opCode, aeLong index, aeLong value, void* ptr,
                               float opt) noexcept {
    // Negative opcodes compare as large unsigned numbers and fall outside too.
    if (static_cast<std::uint32_t>(opCode) > static_cast<std::uint32_t>(kLastOpcode)) return 0;

    aeLong answer = 0;
    switch (opCode) {
        case effOpen: open(); break;
        case effClose: close(); break;
        case effSetProgram:
            if (value < numPrograms) setProgram(value);
            break;
        case effGetProgram: answer = getProgram(); break;
        case effSetProgramName: setProgramName(static_cast<char*>(ptr)); break;
        case effGetProgramName: getProgramName(static_cast<char*>(ptr)); break;
        case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); break;
        case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); break;
        case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); break;
        case effGetVu: answer = truncToInt32(static_cast<double>(getVu()) * 32767.0); break;
        case effSetSampleRate: setSampleRate(opt); break;
        case effSetBlockSize: setBlockSize(value); break;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            break;
        case effEditGetRect:
            if (editor) answer = editor->getRect(static_cast<ERect**>(ptr));
            break;
        case effEditOpen:
            if (editor) answer = editor->open(ptr);
            break;
        case effEditClose:
            if (editor) editor->close();
            break;
        case effEditIdle:
            if (editor) editor->idle();
            break;
        case effIdentify: answer = kIdentifyAnswer; break;
        default: break;  // opcodes without an action
    }
    return answer;
}
