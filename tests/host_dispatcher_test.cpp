#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "recording_effect.h"

namespace {

struct DispatchCase {
    const char* what;
    aeLong opCode;
    aeLong index;
    aeIntPtr value;
    std::vector<Call> calls;
    aeIntPtr answer;
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.what; }

class DispatcherTable : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatcherTable, CallsTheOperationAndAnswers) {
    const DispatchCase& c = GetParam();
    RecordingEffect effect;
    char buffer[64] = "untouched";
    EXPECT_EQ(dispatch(effect.record(), c.opCode, c.index, c.value, buffer, 0.5f), c.answer);
    EXPECT_EQ(effect.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Opcodes, DispatcherTable,
    ::testing::Values(
        DispatchCase{"open", effOpen, 0, 0, {{"open"}}, 0},
        DispatchCase{"setProgram", effSetProgram, 0, 5, {{"setProgram", 5}}, 0},
        DispatchCase{"lastProgram", effSetProgram, 0, 15, {{"setProgram", 15}}, 0},
        DispatchCase{"programEqualToCountDropped", effSetProgram, 0, 16, {}, 0},
        DispatchCase{"programAboveCountDropped", effSetProgram, 0, 1000, {}, 0},
        DispatchCase{
            "negativeProgramPassesTheGuard", effSetProgram, 0, -1, {{"setProgram", -1}}, 0},
        DispatchCase{"getProgram", effGetProgram, 0, 0, {}, 0},
        DispatchCase{"setProgramName", effSetProgramName, 0, 0, {{"setProgramName"}}, 0},
        DispatchCase{"getProgramName", effGetProgramName, 0, 0, {{"getProgramName"}}, 0},
        DispatchCase{"label", effGetParamLabel, 3, 0, {{"getParameterLabel", 3}}, 0},
        DispatchCase{"display", effGetParamDisplay, 4, 0, {{"getParameterDisplay", 4}}, 0},
        DispatchCase{"name", effGetParamName, 7, 0, {{"getParameterName", 7}}, 0},
        DispatchCase{"vu", effGetVu, 0, 0, {{"getVu"}}, 0},
        DispatchCase{"sampleRate", effSetSampleRate, 0, 0, {}, 0},
        DispatchCase{"blockSize", effSetBlockSize, 0, 256, {}, 0},
        DispatchCase{"mainsOff", effMainsChanged, 0, 0, {{"suspend"}}, 0},
        DispatchCase{"mainsOn", effMainsChanged, 0, 1, {{"resume"}}, 0},
        DispatchCase{"mainsNegative", effMainsChanged, 0, -1, {{"resume"}}, 0},
        DispatchCase{"editGetRectNoEditor", effEditGetRect, 0, 0, {}, 0},
        DispatchCase{"editOpenNoEditor", effEditOpen, 0, 0, {}, 0},
        DispatchCase{"editCloseNoEditor", effEditClose, 0, 0, {}, 0},
        DispatchCase{"op16", 16, 0, 0, {}, 0}, DispatchCase{"op17", 17, 0, 0, {}, 0},
        DispatchCase{"op18", 18, 0, 0, {}, 0},
        DispatchCase{"editIdleNoEditor", effEditIdle, 0, 0, {}, 0},
        DispatchCase{"op20", 20, 0, 0, {}, 0}, DispatchCase{"op21", 21, 0, 0, {}, 0},
        DispatchCase{"identify", effIdentify, 0, 0, {}, 0x4E764566},
        DispatchCase{"identifyIgnoresArguments", effIdentify, 99, -7, {}, 0x4E764566},
        DispatchCase{"op23", 23, 0, 0, {}, 0}, DispatchCase{"op1000", 1000, 0, 0, {}, 0},
        DispatchCase{"opMinus1", -1, 0, 0, {}, 0},
        DispatchCase{"opMostNegative", INT_MIN, 0, 0, {}, 0}),
    [](const auto& row) { return std::string(row.param.what); });

TEST(Dispatcher, IdentifyIsTheFourCharacterCode) {
    EXPECT_EQ(kIdentifyAnswer, fourCharCode('N', 'v', 'E', 'f'));
}

TEST(Dispatcher, DefaultProgramRequestsStoreAndAnswerUnchecked) {
    RecordingEffect effect;
    dispatch(effect.record(), effSetProgram, 0, 5);
    EXPECT_EQ(dispatch(effect.record(), effGetProgram), 5);
    dispatch(effect.record(), effSetProgram, 0, -3);
    EXPECT_EQ(dispatch(effect.record(), effGetProgram), -3);
}

TEST(Dispatcher, MeterAnswerIsTheLevelTimes32767TruncatedTowardZero) {
    const struct {
        float level;
        aeIntPtr answer;
    } cases[] = {
        {0.0f, 0},
        {0.5f, 16383},
        {1.0f, 32767},
        {-0.5f, -16383},
        {0.99999f, 32766},
        {1e-6f, 0},
        {-1e-6f, 0},
        {2.0f, 65534},
        {NAN, 0},
        {1e30f, 2147483647},
        {-1e30f, -2147483647 - 1},
    };
    for (const auto& c : cases) {
        RecordingEffect effect;
        effect.vuAnswer = c.level;
        EXPECT_EQ(dispatch(effect.record(), effGetVu), c.answer) << "level " << c.level;
    }
}

TEST(Dispatcher, SampleRateAndBlockSizeReadTheirOwnArgumentOnly) {
    RecordingEffect effect;
    dispatch(effect.record(), effSetSampleRate, 7, 9, nullptr, 48000.5f);
    EXPECT_EQ(effect.getSampleRate(), 48000.5f);
    dispatch(effect.record(), effSetBlockSize, 7, 512, nullptr, 3.0f);
    EXPECT_EQ(effect.getBlockSize(), 512);
    EXPECT_EQ(effect.getSampleRate(), 48000.5f);
}

TEST(Dispatcher, DefaultTextRequestsWriteTheEmptyText) {
    RecordingEffect effect;
    for (aeLong op : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[16] = "something";
        dispatch(effect.record(), op, 2, 0, text);
        EXPECT_EQ(text[0], '\0') << "opcode " << op;
    }
    AudioEffect& base = effect;
    char name[16] = "named";
    base.AudioEffect::setProgramName(name);
    EXPECT_EQ(name[0], '\0');
}

TEST(Dispatcher, EditorRectangleRequestLeavesPointerAloneWithoutEditor) {
    RecordingEffect effect;
    ERect sentinel{};
    ERect* rect = &sentinel;
    dispatch(effect.record(), effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect, &sentinel);
}

class CountingEditor : public AEffEditor {
public:
    void update() noexcept override { ++updates; }
    void close() noexcept override { ++closes; }
    void* window() const { return systemWindow; }
    int updates = 0;
    int closes = 0;
};

TEST(Dispatcher, EditorRequestsReachAnAttachedEditor) {
    RecordingEffect effect;
    auto* editor = new CountingEditor;  // owned by the effect from here on
    effect.attachEditor(editor);
    AEffect& e = effect.record();

    ERect sentinel{};
    ERect* rect = &sentinel;
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);

    int parent = 0;
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(editor->window(), &parent);

    dispatch(e, effEditClose);
    EXPECT_EQ(editor->closes, 1);

    dispatch(e, effEditIdle);
    EXPECT_EQ(editor->updates, 0);
    editor->postUpdate();
    dispatch(e, effEditIdle);
    EXPECT_EQ(editor->updates, 1);
    dispatch(e, effEditIdle);
    EXPECT_EQ(editor->updates, 1);
}

}  // namespace
