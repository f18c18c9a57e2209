#include <gtest/gtest.h>

#include <cstring>

#include "recording_effect.h"

TEST(Record, ConstructorFillsEveryEntry) {
    RecordingEffect effect;
    const AEffect& e = effect.record();
    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(e.object, &effect);
    EXPECT_EQ(effect.getAeffect(), &e);
    EXPECT_EQ(e.numPrograms, 16);
    EXPECT_EQ(e.numParams, 8);
    EXPECT_EQ(e.numInputs, 1);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.flags, 0);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.user, nullptr);
    EXPECT_EQ(e.uniqueID, fourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(e.uniqueID, 0x4E6F4566);
    EXPECT_EQ(e.version, 1);
    const char zeros[sizeof e.future] = {};
    EXPECT_EQ(std::memcmp(e.future, zeros, sizeof zeros), 0);
    EXPECT_NE(e.dispatcher, nullptr);
    EXPECT_NE(e.process, nullptr);
    EXPECT_NE(e.processReplacing, nullptr);
    EXPECT_NE(e.setParameter, nullptr);
    EXPECT_NE(e.getParameter, nullptr);
}

TEST(Record, BaseHoldsDefaultRunTimeSettings) {
    RecordingEffect effect;
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
}

TEST(Record, TrampolinesReachTheVirtualOperations) {
    RecordingEffect effect;
    AEffect& e = effect.record();
    float in[4] = {}, out0[4] = {}, out1[4] = {};
    float* inputs[] = {in};
    float* outputs[] = {out0, out1};
    e.process(&e, inputs, outputs, 3);
    e.processReplacing(&e, inputs, outputs, 4);
    e.setParameter(&e, 5, 0.25f);
    EXPECT_EQ(e.getParameter(&e, 6), 0.75f);
    const std::vector<Call> expected = {{"process", 3, 0.0f},
                                        {"processReplacing", 4, 0.0f},
                                        {"setParameter", 5, 0.25f},
                                        {"getParameter", 6, 0.0f}};
    EXPECT_EQ(effect.calls, expected);
}

TEST(Record, CloseCallsCloseThenDestroysTheObjectAndAnswersOne) {
    int destroyed = 0;
    auto* effect = new RecordingEffect(nullptr, &destroyed);
    AEffect& e = effect->record();
    EXPECT_EQ(dispatch(e, op::open), 0);
    EXPECT_EQ(effect->calls.back().name, "open");
    EXPECT_EQ(dispatch(e, op::close), 1);
    EXPECT_EQ(destroyed, 1);
}

TEST(Record, DestructionDestroysTheOwnedEditor) {
    struct CountingEditor : AEffEditor {
        explicit CountingEditor(int* n) : count(n) {}
        ~CountingEditor() override { ++*count; }
        int* count;
    };
    int editorsDestroyed = 0;
    {
        RecordingEffect effect;
        effect.attachEditor(new CountingEditor(&editorsDestroyed));
    }
    EXPECT_EQ(editorsDestroyed, 1);
}
