#include <gtest/gtest.h>

#include "recording_effect.h"

namespace {

struct HostRequest {
    AEffect* effect;
    aeLong opcode;
    aeLong index;
    aeIntPtr value;
    void* ptr;
    float opt;
};

// A host callback that records every request and answers a set value.
struct RecordingHost {
    static inline std::vector<HostRequest> requests;
    static inline aeIntPtr answer = 0;
    static aeIntPtr ZUR_CALL callback(AEffect* e, aeLong opcode, aeLong index, aeIntPtr value,
                                      void* ptr, float opt) {
        requests.push_back({e, opcode, index, value, ptr, opt});
        return answer;
    }
};

class HostQueries : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingHost::requests.clear();
        RecordingHost::answer = 0;
    }
    RecordingEffect effect{RecordingHost::callback};
    const std::vector<HostRequest>& sent() const { return RecordingHost::requests; }
    void expectOneRequest(aeLong opcode, aeLong index, aeIntPtr value, float opt) {
        ASSERT_EQ(sent().size(), 1u);
        const HostRequest& r = sent()[0];
        EXPECT_EQ(r.effect, &effect.record());
        EXPECT_EQ(r.opcode, opcode);
        EXPECT_EQ(r.index, index);
        EXPECT_EQ(r.value, value);
        EXPECT_EQ(r.ptr, nullptr);
        EXPECT_EQ(r.opt, opt);
    }
};

TEST_F(HostQueries, MasterVersionReadsZeroAsOne) {
    const struct {
        aeIntPtr host;
        aeLong expected;
    } cases[] = {{0, 1}, {2, 2}, {2400, 2400}, {-1, -1}};
    for (const auto& c : cases) {
        RecordingHost::requests.clear();
        RecordingHost::answer = c.host;
        EXPECT_EQ(effect.getMasterVersion(), c.expected) << "host answers " << c.host;
        expectOneRequest(master::version, 0, 0, 0.0f);
    }
}

TEST_F(HostQueries, CurrentUniqueIdPassesTheAnswerOn) {
    for (aeIntPtr answer : {0, 0x514B5631, -5}) {
        RecordingHost::requests.clear();
        RecordingHost::answer = answer;
        EXPECT_EQ(effect.getCurrentUniqueId(), answer);
        expectOneRequest(master::currentId, 0, 0, 0.0f);
    }
}

TEST_F(HostQueries, MasterIdleSendsOneRequest) {
    effect.masterIdle();
    expectOneRequest(master::idle, 0, 0, 0.0f);
}

TEST_F(HostQueries, PinsCountAsConnectedOnlyWhenTheHostAnswersZero) {
    const struct {
        aeIntPtr host;
        bool connected;
    } cases[] = {{0, true}, {1, false}, {-1, false}};
    for (const auto& c : cases) {
        RecordingHost::answer = c.host;
        RecordingHost::requests.clear();
        EXPECT_EQ(effect.isInputConnected(3), c.connected) << "host answers " << c.host;
        expectOneRequest(master::pinConnected, 3, 0, 0.0f);
        RecordingHost::requests.clear();
        EXPECT_EQ(effect.isOutputConnected(3), c.connected) << "host answers " << c.host;
        expectOneRequest(master::pinConnected, 3, 1, 0.0f);
    }
}

TEST_F(HostQueries, AutomationSetsTheParameterFirstThenTellsTheHost) {
    effect.setParameterAutomated(5, 0.25f);
    ASSERT_EQ(effect.calls.size(), 1u);
    EXPECT_EQ(effect.calls[0], (Call{"setParameter", 5, 0.25f}));
    expectOneRequest(0, 5, 0, 0.25f);
}

// One log for both sides: the effect has the new value before the host is
// told of it.
TEST(HostQueriesOrder, TheEffectHasTheValueBeforeTheHostHearsOfIt) {
    static std::vector<std::string> order;
    struct Effect : RecordingEffect {
        using RecordingEffect::RecordingEffect;
        void setParameter(aeLong index, float value) noexcept override {
            order.push_back("effect " + std::to_string(index));
            RecordingEffect::setParameter(index, value);
        }
    };
    struct Host {
        static aeIntPtr ZUR_CALL callback(AEffect*, aeLong opcode, aeLong index, aeIntPtr, void*,
                                          float) {
            order.push_back("host " + std::to_string(opcode) + " " + std::to_string(index));
            return 0;
        }
    };
    Effect effect(Host::callback);
    effect.setParameterAutomated(5, 0.25f);
    EXPECT_EQ(order, (std::vector<std::string>{"effect 5", "host 0 5"}));
}

TEST(HostQueriesWithoutCallback, AnswerTheirDefaultsAndSendNothing) {
    RecordingEffect effect(nullptr);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(1));
    effect.masterIdle();
    effect.setParameterAutomated(2, 0.75f);
    const std::vector<Call> expected = {{"setParameter", 2, 0.75f}};
    EXPECT_EQ(effect.calls, expected);
}

TEST(CapabilityFlags, SettersSetAndClearOnlyTheirOwnBit) {
    RecordingEffect effect;
    AEffect& e = effect.record();
    effect.canProcessReplacing(true);
    effect.hasVu(true);
    EXPECT_EQ(e.flags, 20);
    effect.hasVu(true);
    EXPECT_EQ(e.flags, 20);
    effect.hasVu(false);
    EXPECT_EQ(e.flags, 16);
    effect.hasClip(true);
    effect.canMono(true);
    EXPECT_EQ(e.flags, 16 | 2 | 8);
    effect.canProcessReplacing(false);
    effect.hasClip(false);
    EXPECT_EQ(e.flags, 8);
    EXPECT_EQ(e.flags & 1, 0);  // the editor bit
}

// Each setter from every kind of start: its bit set or clear, all other bits
// set or clear. True sets exactly its bit, false clears exactly its bit,
// twice the same as once.
TEST(CapabilityFlags, EachSetterChangesItsBitAloneFromAnyStart) {
    using Setter = void (AudioEffect::*)(bool) noexcept;
    const struct {
        Setter set;
        aeLong bit;
    } setters[] = {{&AudioEffect::hasClip, 2},
                   {&AudioEffect::hasVu, 4},
                   {&AudioEffect::canMono, 8},
                   {&AudioEffect::canProcessReplacing, 16}};
    for (const auto& s : setters)
        for (aeLong start : {0, 2 | 4 | 8 | 16, ~0, 1, 0x40000000})
            for (bool state : {true, false}) {
                RecordingEffect effect;
                effect.record().flags = start;
                const aeLong expected = state ? (start | s.bit) : (start & ~s.bit);
                (effect.*s.set)(state);
                EXPECT_EQ(effect.record().flags, expected) << s.bit << " " << start << " " << state;
                (effect.*s.set)(state);
                EXPECT_EQ(effect.record().flags, expected) << s.bit << " " << start << " " << state;
            }
}

TEST(RecordSetters, WriteTheirEntryUnchecked) {
    RecordingEffect effect;
    AEffect& e = effect.record();
    effect.setNumInputs(-1);
    effect.setNumOutputs(6);
    effect.setUniqueID(fourCharCode('Q', 'K', 'V', '1'));
    effect.setInitialDelay(128);
    effect.setRealtimeQualities(3);
    effect.setOfflineQualities(-4);
    EXPECT_EQ(e.numInputs, -1);
    EXPECT_EQ(e.numOutputs, 6);
    EXPECT_EQ(e.uniqueID, 0x514B5631);
    EXPECT_EQ(e.initialDelay, 128);
    EXPECT_EQ(e.realQualities, 3);
    EXPECT_EQ(e.offQualities, -4);
}

}  // namespace
