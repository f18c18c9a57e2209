// One thread processes blocks without pause while another changes every
// parameter, switches programs, renames them and asks for every text, all
// through the record, as a host's audio and control threads do. Run under
// ThreadSanitizer this finds any data race; in every build it checks that
// every output sample stays finite and within full scale.
//
// Suspend, resume and close are not sent while audio runs: hosts stop audio
// before they send them, and the effect relies on that.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "zur.h"

namespace {

double secondsToRun() {
    const char* s = std::getenv("ZUR_THREAD_TEST_SECONDS");
    return s ? std::atof(s) : 2.0;
}

TEST(Threads, ControlRequestsDuringProcessing) {
    auto* zur = new ZUR(nullptr);
    AEffect* e = zur->getAeffect();
    std::atomic<bool> stop{false};
    std::atomic<long long> bad{0}, frames{0};

    std::thread audio([&] {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        std::vector<float> in(1024), left(1024), right(1024);
        float* inputs[] = {in.data()};
        float* outputs[] = {left.data(), right.data()};
        for (bool replacing = true; !stop; replacing = !replacing) {
            const int n = 1 + static_cast<int>(rng() % 1024);
            for (int i = 0; i < n; ++i) in[static_cast<std::size_t>(i)] = sample(rng);
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            (replacing ? e->processReplacing : e->process)(e, inputs, outputs, n);
            for (int i = 0; i < n; ++i)
                if (!(std::fabs(left[static_cast<std::size_t>(i)]) <= 1.0f) ||
                    !(std::fabs(right[static_cast<std::size_t>(i)]) <= 1.0f))
                    ++bad;
            frames += n;
        }
    });

    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-0.2f, 1.2f);
    const aeLong indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 1111, 1000, 1001, 2000, 2001, 3100, 9};
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsToRun());
    long long requests = 0;
    char text[64];
    char name[] = "Live";
    while (std::chrono::steady_clock::now() < end) {
        for (aeLong index : indices) {
            e->setParameter(e, index, value(rng));
            e->getParameter(e, index);
            for (aeLong op : {effGetParamName, effGetParamLabel, effGetParamDisplay})
                e->dispatcher(e, op, index, 0, text, 0.0f);
        }
        e->dispatcher(e, effSetProgram, 0, static_cast<aeIntPtr>(rng() % 16), nullptr, 0.0f);
        e->dispatcher(e, effSetProgramName, 0, 0, name, 0.0f);
        e->dispatcher(e, effGetProgramName, 0, 0, text, 0.0f);
        e->dispatcher(e, effGetVu, 0, 0, nullptr, 0.0f);
        requests += 4 + 5 * static_cast<long long>(std::size(indices));
    }
    stop = true;
    audio.join();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);

    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(frames.load(), 0);
    EXPECT_GT(requests, 0);
    std::printf("%lld frames processed while %lld control requests ran\n", frames.load(), requests);
}

}  // namespace
