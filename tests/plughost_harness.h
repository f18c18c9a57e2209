// Runs the built host program end to end, in a folder of its own per test,
// and reads and writes the audio files it meets.
#pragma once

#include <fcntl.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "module_host.h"

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out, err;
};

inline const std::string kZur = ZUR_MODULE_PATH;
inline const std::string kFakes = FAKE_MODULE_DIR;

class Plughost : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plughost-test-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // Runs plughost with `args` through the shell; standard output and error
    // are caught in files.
    Outcome run(const std::string& args) const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string command =
            std::string(PLUGHOST_PATH) + " " + args + " >" + out + " 2>" + err + " </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }

    // Starts plughost with `args` (no shell); its standard error goes to a
    // file, its standard output to `out` (a file name, or "" for the same file).
    pid_t spawn(const std::vector<std::string>& args, const std::string& out = "") const {
        const std::string err = path("stderr.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int o = out.empty() ? e : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, STDOUT_FILENO);
            dup2(e, STDERR_FILENO);
            std::vector<char*> argv = {const_cast<char*>(PLUGHOST_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(PLUGHOST_PATH, argv.data());
            _exit(127);
        }
        return pid;
    }

    // Waits up to `seconds` for the child; its exit status, 128 + N for a
    // signal N, or -1 when it did not end in time (it is then killed).
    static int waitFor(pid_t pid, double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        int raw = 0;
        while (waitpid(pid, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(pid, SIGKILL);
                waitpid(pid, &raw, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }

    static std::string slurp(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Files in the test's folder whose names contain `part`.
    std::vector<std::string> filesNamed(const std::string& part) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().find(part) != std::string::npos)
                found.push_back(entry.path().filename().string());
        return found;
    }

    static void writeAudio(const std::string& file, const std::vector<float>& interleaved,
                           int channels, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_float(f, interleaved.data(),
                        static_cast<sf_count_t>(interleaved.size()) / channels);
        sf_close(f);
    }

    struct Audio {
        std::vector<float> samples;  // interleaved
        int channels = 0;
        int format = 0;
        int rate = 0;
    };

    static Audio readAudio(const std::string& file) {
        SF_INFO info{};
        SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
        if (!f) return {};
        Audio a;
        a.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
        sf_readf_float(f, a.samples.data(), info.frames);
        sf_close(f);
        a.channels = info.channels;
        a.format = info.format;
        a.rate = info.samplerate;
        return a;
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
// program would; `between` runs before each block with the block's start
// frame. Answers interleaved stereo.
template <typename Between>
std::vector<float> processDirectly(const std::vector<float>& input,
                                   const std::vector<std::size_t>& blocks, Between between) {
    Module module;
    Instance zur(module);
    std::vector<float> interleaved, in, left, right;
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

// Blocks of `block` frames covering `frames`, the last one shorter.
inline std::vector<std::size_t> blocksOf(std::size_t frames, std::size_t block) {
    std::vector<std::size_t> blocks(frames / block, block);
    if (frames % block) blocks.push_back(frames % block);
    return blocks;
}
