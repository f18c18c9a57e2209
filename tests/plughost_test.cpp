#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "module_host.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class Plughost : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plughost-test-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    Outcome run(const std::string& args) const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string command =
            std::string(PLUGHOST_PATH) + " " + args + " >" + out + " 2>" + err;
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }

    static std::string slurp(const std::string& file) {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void writeWav(const std::string& file, const std::vector<float>& interleaved,
                  int channels) const {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_writef_float(f, interleaved.data(),
                        static_cast<sf_count_t>(interleaved.size()) / channels);
        sf_close(f);
    }

    static std::vector<float> readWav(const std::string& file, int* channels = nullptr) {
        SF_INFO info{};
        SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
        if (!f) return {};
        std::vector<float> data(static_cast<std::size_t>(info.frames * info.channels));
        sf_readf_float(f, data.data(), info.frames);
        sf_close(f);
        if (channels) *channels = info.channels;
        return data;
    }

    static std::vector<float> noise(std::size_t frames, unsigned seed = 5) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> dist(-0.4f, 0.4f);
        std::vector<float> v(frames);
        for (float& s : v) s = dist(rng);
        return v;
    }

    fs::path dir;
};

// Processes `input` through a fresh instance in the given blocks, as the host
// program would; `between` runs before each block with the block's start frame.
template <typename Between>
std::vector<float> processDirectly(const std::vector<float>& input,
                                   const std::vector<std::size_t>& blocks, Between between) {
    Module module;
    Instance zur(module);
    std::vector<float> interleaved;
    std::vector<float> in, left, right;
    std::size_t pos = 0;
    for (std::size_t len : blocks) {
        between(zur, pos);
        in.assign(input.begin() + static_cast<std::ptrdiff_t>(pos),
                  input.begin() + static_cast<std::ptrdiff_t>(pos + len));
        left.assign(len, 0.0f);
        right.assign(len, 0.0f);
        zur.replace(in.data(), left.data(), right.data(), static_cast<aeLong>(len));
        for (std::size_t n = 0; n < len; ++n) {
            interleaved.push_back(left[n]);
            interleaved.push_back(right[n]);
        }
        pos += len;
    }
    return interleaved;
}

// Long enough for several chunks of reading and several pieces of writing, so
// blocks straddle both.
TEST_F(Plughost, RenderEqualsDirectProcessing) {
    const auto input = noise(40000);
    writeWav(path("in.wav"), input, 1);
    const Outcome r = run(std::string("render ") + ZUR_MODULE_PATH + " " + path("in.wav") + " -o " +
                          path("out.wav") + " --block 300 --param 5=0.5 --param 0=0.4 -q");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frames 40000"), std::string::npos) << r.out;
    int channels = 0;
    const auto rendered = readWav(path("out.wav"), &channels);
    EXPECT_EQ(channels, 2);
    std::vector<std::size_t> blocks(133, 300);
    blocks.push_back(100);
    const auto direct = processDirectly(input, blocks, [](Instance& z, std::size_t pos) {
        if (pos == 0) {
            z.set(5, 0.5f);
            z.set(0, 0.4f);
        }
    });
    EXPECT_EQ(rendered, direct);
}

// The summary's levels against the file written: an odd frame count leaves
// a tail after the metering's groups of samples, and a pan off centre makes
// the channels differ.
TEST_F(Plughost, SummaryGivesThePeakAndRmsOfEachChannel) {
    const Outcome r = run(std::string("render ") + ZUR_MODULE_PATH +
                          " --rate 1000 --seconds 40.001 --param 6=0.2 -q -o " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    int channels = 0;
    const auto rendered = readWav(path("out.wav"), &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(rendered.size(), 2u * 40001);
    double peak[2] = {}, sum[2] = {};
    for (std::size_t n = 0; n < rendered.size(); ++n) {
        const double v = rendered[n];
        peak[n % 2] = std::max(peak[n % 2], std::fabs(v));
        sum[n % 2] += v * v;
    }
    double shown[4] = {};
    const auto at = r.out.find("peak ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak %lf %lf; RMS %lf %lf", &shown[0], &shown[1],
                          &shown[2], &shown[3]),
              4)
        << r.out;
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(shown[c], peak[c], 1e-6) << "peak of channel " << c;
        EXPECT_NEAR(shown[2 + c], std::sqrt(sum[c] / 40001), 1e-6) << "RMS of channel " << c;
    }
    EXPECT_GT(std::fabs(shown[2] - shown[3]), 0.01) << r.out;  // the channels do differ
}

TEST_F(Plughost, AutomationSplitsTheBlockAtItsFrame) {
    const auto input = noise(1500);
    writeWav(path("in.wav"), input, 1);
    std::ofstream(path("auto.txt")) << "# time index value\n\n0.01 6 1.0\n0.02 1111 1.0\n";
    const Outcome r = run(std::string("render ") + ZUR_MODULE_PATH + " " + path("in.wav") + " -o " +
                          path("out.wav") + " --automate " + path("auto.txt") + " -q");
    ASSERT_EQ(r.status, 0) << r.err;
    // 0.01 s is frame 441 and 0.02 s frame 882 at 44100 Hz.
    const auto direct =
        processDirectly(input, {441, 71, 370, 142, 476}, [](Instance& z, std::size_t pos) {
            if (pos == 441) z.set(6, 1.0f);
            if (pos == 882) z.set(1111, 1.0f);
        });
    EXPECT_EQ(readWav(path("out.wav")), direct);
    EXPECT_NE(r.err.find("warning: parameter 1111 is not announced"), std::string::npos) << r.err;
}

TEST_F(Plughost, AccumulateIntoSilenceMatchesReplaceInTwoPoleMode) {
    const std::string common = std::string("render ") + ZUR_MODULE_PATH +
                               " --signal saw --seconds 0.5 --param 1111=1 --param 5=0.5 -q";
    ASSERT_EQ(run(common + " -o " + path("replace.wav")).status, 0);
    ASSERT_EQ(run(common + " --mode accumulate -o " + path("accumulate.wav")).status, 0);
    const auto replaced = readWav(path("replace.wav"));
    EXPECT_EQ(replaced.size(), 2u * 22050);
    EXPECT_EQ(readWav(path("accumulate.wav")), replaced);
}

TEST_F(Plughost, SeveralInputChannelsAreMixedDownOrPicked) {
    const auto a = noise(20000, 1), b = noise(20000, 2);  // more than one chunk read
    std::vector<float> stereo, mixed;
    for (std::size_t n = 0; n < a.size(); ++n) {
        stereo.push_back(a[n]);
        stereo.push_back(b[n]);
        mixed.push_back(static_cast<float>((static_cast<double>(a[n]) + b[n]) / 2.0));
    }
    writeWav(path("stereo.wav"), stereo, 2);
    writeWav(path("mixed.wav"), mixed, 1);
    writeWav(path("right.wav"), b, 1);
    const std::string m = std::string("render ") + ZUR_MODULE_PATH + " ";
    ASSERT_EQ(run(m + path("stereo.wav") + " -q -o " + path("o1.wav")).status, 0);
    ASSERT_EQ(run(m + path("mixed.wav") + " -q -o " + path("o2.wav")).status, 0);
    ASSERT_EQ(run(m + path("stereo.wav") + " --channel 2 -q -o " + path("o3.wav")).status, 0);
    ASSERT_EQ(run(m + path("right.wav") + " -q -o " + path("o4.wav")).status, 0);
    EXPECT_EQ(readWav(path("o1.wav")), readWav(path("o2.wav")));
    EXPECT_EQ(readWav(path("o3.wav")), readWav(path("o4.wav")));
}

TEST_F(Plughost, OtherOutputFormats) {
    for (const char* format : {"pcm16", "pcm24", "flac"}) {
        const std::string out = path(std::string("out.") + format);
        const Outcome r = run(std::string("render ") + ZUR_MODULE_PATH +
                              " --seconds 0.2 -q --format " + format + " -o " + out);
        ASSERT_EQ(r.status, 0) << format << r.err;
        EXPECT_EQ(readWav(out).size(), 2u * 8820) << format;
    }
}

TEST_F(Plughost, InfoDescribesTheRecord) {
    const Outcome text = run(std::string("info ") + ZUR_MODULE_PATH);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("identifier  'QKV1' (1363891761)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("flags       20 HasVu CanReplacing"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("[f = 2073]"), std::string::npos) << text.out;
    const Outcome json = run(std::string("info --json ") + ZUR_MODULE_PATH);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"uniqueIDText\": \"QKV1\""), std::string::npos) << json.out;
    EXPECT_NE(
        json.out.find("{\"index\": 6, \"name\": \"      PAN   \", \"label\": \"l<------------>r\", "
                      "\"value\": 0.5, \"display\": \"---------I---------\"}"),
        std::string::npos)
        << json.out;
}

TEST_F(Plughost, ValidatePassesTheModuleAndReportsEveryCategory) {
    const Outcome text = run(std::string("validate ") + ZUR_MODULE_PATH);
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_NE(text.out.find("all categories passed"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("FAIL"), std::string::npos) << text.out;
    for (const char* category :
         {"record", "open/close x100", "rates and block sizes", "accumulate adds",
          "input is an output", "blocks change nothing", "parameter fuzz", "texts", "programs",
          "second thread", "real-time budget"})
        EXPECT_NE(text.out.find(std::string("PASS  ") + category), std::string::npos) << category;
    const Outcome json = run(std::string("validate --json ") + ZUR_MODULE_PATH);
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"passed\": true}"), std::string::npos) << json.out;
    const Outcome bad = run(std::string("validate ") + FAKE_MODULE_DIR + "/fake_bad_magic.so");
    EXPECT_NE(bad.status, 0);
}

TEST_F(Plughost, BadInputFailsWithOneLineAndLeavesNoOutput) {
    writeWav(path("empty.wav"), {}, 1);
    writeWav(path("mono.wav"), noise(100), 1);
    std::ofstream(path("notaudio.wav")) << "not audio";
    std::ofstream(path("notamodule.so")) << "not a module";
    std::ofstream(path("bad.txt")) << "0.1 5 0.5\n0.2 five 0.5\n";
    const std::string zur = ZUR_MODULE_PATH;
    const std::string fakes = FAKE_MODULE_DIR;
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {path("missing.so"), "cannot load module"},
        {path("notamodule.so"), "cannot load module"},
        {fakes + "/fake_no_main.so", "has no 'main' entry"},
        {fakes + "/fake_null_main.so", "'main' answered null"},
        {fakes + "/fake_bad_magic.so", "wrong magic 0x12345678"},
        {zur + " " + path("nothere.wav"), "cannot read input"},
        {zur + " " + path("notaudio.wav"), "cannot read input"},
        {zur + " " + path("empty.wav"), "holds no audio frames"},
        {zur + " " + path("mono.wav") + " --channel 2", "--channel 2 is out of range"},
        {zur + " --block 0", "--block"},
        {zur + " --block abc", "--block"},
        {zur + " --seconds -1", "--seconds"},
        {zur + " --mode sideways", "--mode"},
        {zur + " --format mp3", "--format"},
        {zur + " --signal hum", "--signal 'hum'"},
        {zur + " --signal sine:x", "--signal 'sine:x'"},
        {zur + " --program 16", "--program 16 is out of range"},
        {zur + " --param 5", "--param '5'"},
        {zur + " --param x=1", "--param 'x=1'"},
        {zur + " --param 5=nan", "--param '5=nan'"},
        {zur + " --automate " + path("bad.txt"), "line 2"},
        {zur + " --automate " + path("nofile.txt"), "cannot read automation file"},
    };
    for (const auto& c : cases) {
        const std::string out = path("out.wav");
        const Outcome r = run("render " + c.args + " -q -o " + out);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.args;
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
    }
}

}  // namespace
