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
        DispatchCase{"open", op::open, 0, 0, {{"open"}}, 0},
        DispatchCase{"setProgram", op::setProgram, 0, 5, {{"setProgram", 5}}, 0},
        DispatchCase{"lastProgram", op::setProgram, 0, 15, {{"setProgram", 15}}, 0},
        DispatchCase{"programEqualToCountDropped", op::setProgram, 0, 16, {}, 0},
        DispatchCase{"programAboveCountDropped", op::setProgram, 0, 1000, {}, 0},
        DispatchCase{
            "negativeProgramPassesTheGuard", op::setProgram, 0, -1, {{"setProgram", -1}}, 0},
        DispatchCase{"getProgram", op::getProgram, 0, 0, {}, 0},
        DispatchCase{"setProgramName", op::setProgramName, 0, 0, {{"setProgramName"}}, 0},
        DispatchCase{"getProgramName", op::getProgramName, 0, 0, {{"getProgramName"}}, 0},
        DispatchCase{"label", op::getParamLabel, 3, 0, {{"getParameterLabel", 3}}, 0},
        DispatchCase{"display", op::getParamDisplay, 4, 0, {{"getParameterDisplay", 4}}, 0},
        DispatchCase{"name", op::getParamName, 7, 0, {{"getParameterName", 7}}, 0},
        DispatchCase{"vu", op::getVu, 0, 0, {{"getVu"}}, 0},
        DispatchCase{"sampleRate", op::setSampleRate, 0, 0, {}, 0},
        DispatchCase{"blockSize", op::setBlockSize, 0, 256, {}, 0},
        DispatchCase{"mainsOff", op::mainsChanged, 0, 0, {{"suspend"}}, 0},
        DispatchCase{"mainsOn", op::mainsChanged, 0, 1, {{"resume"}}, 0},
        DispatchCase{"mainsNegative", op::mainsChanged, 0, -1, {{"resume"}}, 0},
        DispatchCase{"editGetRectNoEditor", op::editGetRect, 0, 0, {}, 0},
        DispatchCase{"editOpenNoEditor", op::editOpen, 0, 0, {}, 0},
        DispatchCase{"editCloseNoEditor", op::editClose, 0, 0, {}, 0},
        DispatchCase{"op16", 16, 0, 0, {}, 0}, DispatchCase{"op17", 17, 0, 0, {}, 0},
        DispatchCase{"op18", 18, 0, 0, {}, 0},
        DispatchCase{"editIdleNoEditor", op::editIdle, 0, 0, {}, 0},
        DispatchCase{"op20", 20, 0, 0, {}, 0}, DispatchCase{"op21", 21, 0, 0, {}, 0},
        DispatchCase{"identify", op::identify, 0, 0, {}, 0x4E764566},
        DispatchCase{"identifyIgnoresArguments", op::identify, 99, -7, {}, 0x4E764566},
        DispatchCase{"op23", 23, 0, 0, {}, 0}, DispatchCase{"op1000", 1000, 0, 0, {}, 0},
        DispatchCase{"opMinus1", -1, 0, 0, {}, 0},
        DispatchCase{"opMostNegative", INT_MIN, 0, 0, {}, 0}),
    [](const auto& row) { return std::string(row.param.what); });

TEST(Dispatcher, IdentifyIsTheFourCharacterCode) {
    EXPECT_EQ(kIdentifyAnswer, fourCharCode('N', 'v', 'E', 'f'));
}

TEST(Dispatcher, DefaultProgramRequestsStoreAndAnswerUnchecked) {
    RecordingEffect effect;
    dispatch(effect.record(), op::setProgram, 0, 5);
    EXPECT_EQ(dispatch(effect.record(), op::getProgram), 5);
    dispatch(effect.record(), op::setProgram, 0, -3);
    EXPECT_EQ(dispatch(effect.record(), op::getProgram), -3);
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
        EXPECT_EQ(dispatch(effect.record(), op::getVu), c.answer) << "level " << c.level;
    }
}

TEST(Dispatcher, SampleRateAndBlockSizeReadTheirOwnArgumentOnly) {
    RecordingEffect effect;
    dispatch(effect.record(), op::setSampleRate, 7, 9, nullptr, 48000.5f);
    EXPECT_EQ(effect.getSampleRate(), 48000.5f);
    dispatch(effect.record(), op::setBlockSize, 7, 512, nullptr, 3.0f);
    EXPECT_EQ(effect.getBlockSize(), 512);
    EXPECT_EQ(effect.getSampleRate(), 48000.5f);
}

TEST(Dispatcher, DefaultTextRequestsWriteTheEmptyText) {
    RecordingEffect effect;
    for (aeLong op :
         {op::getProgramName, op::getParamLabel, op::getParamDisplay, op::getParamName}) {
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
    dispatch(effect.record(), op::editGetRect, 0, 0, &rect);
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
    EXPECT_EQ(dispatch(e, op::editGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);

    int parent = 0;
    EXPECT_EQ(dispatch(e, op::editOpen, 0, 0, &parent), 0);
    EXPECT_EQ(editor->window(), &parent);

    dispatch(e, op::editClose);
    EXPECT_EQ(editor->closes, 1);

    dispatch(e, op::editIdle);
    EXPECT_EQ(editor->updates, 0);
    editor->postUpdate();
    dispatch(e, op::editIdle);
    EXPECT_EQ(editor->updates, 1);
    dispatch(e, op::editIdle);
    EXPECT_EQ(editor->updates, 1);
}

}  // namespace
