// Where `plughost render` writes, and what it leaves behind when it cannot
// finish: never a replaced link, pipe or foreign file, never a partial file.
#include <pwd.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <set>

#include "plughost_harness.h"

namespace {

const std::string kOneSecond = "render " + kZur + " --seconds 1 -q";

bool isLink(const std::string& p) { return fs::is_symlink(fs::symlink_status(p)); }

// Reads the output of a render through a named pipe while it is written.
TEST_F(Plughost, PipesAndLinksAreWrittenThroughNotReplaced) {
    std::string target = path("target.wav");
    std::ofstream(target) << "old";
    fs::create_symlink(target, path("link.wav"));
    fs::create_symlink(path("made.wav"), path("dangling.wav"));
    fs::create_symlink("/dev/null", path("null.wav"));
    ASSERT_EQ(mkfifo(path("fifo.wav").c_str(), 0644), 0);

    for (const char* name : {"link.wav", "dangling.wav", "null.wav"}) {
        const Outcome r = run(kOneSecond + " -o " + path(name));
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_TRUE(isLink(path(name))) << name << " was replaced";
    }
    EXPECT_EQ(readAudio(target).samples.size(), 2u * 44100);
    EXPECT_EQ(readAudio(path("made.wav")).samples.size(), 2u * 44100);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    std::string piped;
    std::thread reader([&] { piped = slurp(path("fifo.wav")); });
    const Outcome r = run(kOneSecond + " -o " + path("fifo.wav"));
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_fifo(path("fifo.wav")));
    std::ofstream(path("piped.wav"), std::ios::binary) << piped;
    EXPECT_EQ(readAudio(path("piped.wav")).samples.size(), 2u * 44100);
    EXPECT_TRUE(filesNamed("partial").empty());
}

TEST_F(Plughost, StandardOutputTakesTheAudioAndTheSummaryGoesToStandardError) {
    const Outcome r = run(kOneSecond + " -o -");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readAudio(path("stdout.txt")).samples.size(), 2u * 44100);
    EXPECT_NE(r.err.find("frames 44100,"), std::string::npos) << r.err;
}

// As root the test runs plughost as another user; otherwise the file is one
// of its own without write permission. Either way the user may not write it.
TEST_F(Plughost, RefusesToReplaceAFileTheUserMayNotWrite) {
    fs::permissions(dir, fs::perms::all);  // a folder anyone may write
    const std::string precious = path("precious.wav");
    std::ofstream(precious) << "precious";
    std::string as, program = PLUGHOST_PATH, module = kZur;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(chmod(precious.c_str(), 0644), 0);
        as = "setpriv --reuid=" + std::to_string(nobody->pw_uid) +
             " --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups ";
        // That user may not reach the build folder; copies here it may run.
        program = path("plughost");
        module = path("zur.so");
        fs::copy_file(PLUGHOST_PATH, program);
        fs::copy_file(kZur, module);
        fs::permissions(program,
                        fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
        fs::permissions(module,
                        fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    } else {
        ASSERT_EQ(chmod(precious.c_str(), 0444), 0);
    }
    const std::string command = as + program + " render " + module + " --seconds 1 -q -o " +
                                precious + " 2>" + path("err.txt");
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(slurp(path("err.txt")).find("Permission denied"), std::string::npos)
        << slurp(path("err.txt"));
    EXPECT_EQ(slurp(precious), "precious");
    EXPECT_TRUE(filesNamed("partial").empty());
}

TEST_F(Plughost, AReplacedFileKeepsItsPermissions) {
    const std::string out = path("out.wav");
    std::ofstream(out) << "old";
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    ASSERT_EQ(run(kOneSecond + " -o " + out).status, 0);
    EXPECT_EQ(fs::status(out).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(readAudio(out).samples.size(), 2u * 44100);
}

TEST_F(Plughost, FailuresLeaveNoPartialFile) {
    fs::create_directory(path("folder.wav"));
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"--seconds 1 --rate 768000 -o " + path("out.flac"),
         "flac does not support this sample rate"},
        {"-o " + path("out.aiff") + " --rate 96000 --seconds 86400",
         "an AIFF file holds at most 4 GiB"},
        {"--seconds 1 -o " + path("folder.wav"), "it is a folder"},
        {"--seconds 1 -o " + path("missing/out.wav"), "No such file or directory"},
    };
    for (const auto& c : cases) {
        const Outcome r = run("render " + kZur + " -q " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        std::set<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir))
            left.insert(entry.path().filename().string());
        EXPECT_EQ(left, (std::set<std::string>{"folder.wav", "stdout.txt", "stderr.txt"}))
            << c.args;
    }
}

// A render stopped by a signal from the terminal, a closed terminal or kill
// removes its temporary file, whose name says what it is while it exists.
TEST_F(Plughost, SignalsStopTheRenderAndRemoveThePartialFile) {
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGHUP, 129}, {SIGTERM, 143}};
    for (const auto& c : cases) {
        const pid_t pid = spawn(
            {"render", kZur, "--seconds", "86400", "--rate", "1000", "-q", "-o", path("out.wav")});
        std::vector<std::string> partial;
        const auto start = std::chrono::steady_clock::now();
        while ((partial = filesNamed("plughost-partial")).empty() &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(partial.size(), 1u);
        EXPECT_EQ(partial[0].rfind("out.wav.plughost-partial-", 0), 0u) << partial[0];
        kill(pid, c.signal);
        EXPECT_EQ(waitFor(pid, 3.0), c.status) << strsignal(c.signal);
        EXPECT_TRUE(filesNamed("out.wav").empty()) << strsignal(c.signal);
    }
}

// A name as long as the file system allows still gets its temporary file.
TEST_F(Plughost, AnOutputNameAtTheFileSystemLimitWorks) {
    const std::string name = std::string(251, 'n') + ".wav";
    const Outcome r = run(kOneSecond + " -o " + path(name));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readAudio(path(name)).samples.size(), 2u * 44100);
}

TEST_F(Plughost, AModuleThatCrashesWhileRenderingIsReportedAndLeavesNothing) {
    const Outcome r =
        run("render " + kFakes + "/fake_crash_in_process.so --seconds 1 -q -o " + path("out.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the module crashed (signal "), std::string::npos) << r.err;
    EXPECT_TRUE(filesNamed("out.wav").empty());
}

std::uint32_t u32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

std::uint64_t u64(const std::string& b, std::size_t at) {
    return u32(b, at) | (static_cast<std::uint64_t>(u32(b, at + 4)) << 32);
}

// Four hours of stereo float are more than a WAV header can count: the file
// is RF64 from its first byte, sized for the whole render. (Reading the header
// off a pipe and closing it stops the render after its first bytes.)
TEST_F(Plughost, OutputBeyondFourGibibytesIsRf64FromTheStart) {
    const std::string command = std::string(PLUGHOST_PATH) + " render " + kZur +
                                " --seconds 14400 -q -o - 2>" + path("err.txt") +
                                " | head -c 80 > " + path("header.bin");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Outcome r{0, "", slurp(path("err.txt"))};
    const std::string header = slurp(path("header.bin"));
    ASSERT_EQ(header.size(), 80u) << r.err;
    EXPECT_EQ(header.substr(0, 4), "RF64");
    EXPECT_EQ(header.substr(12, 4), "ds64");
    const std::uint64_t frames = 14400ull * 44100;
    EXPECT_EQ(u64(header, 28), frames * 2 * 4);  // the size of the audio
    EXPECT_EQ(u64(header, 36), frames);
    EXPECT_NE(r.err.find("written as RF64"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("crashed"), std::string::npos) << r.err;

    ASSERT_EQ(run(kOneSecond + " -o " + path("small.wav")).status, 0);
    EXPECT_EQ(slurp(path("small.wav")).substr(0, 4), "RIFF");
}

// Float samples are a format of their own in a WAV header: it carries the
// size of its extension (none) and the sample count, as readers expect.
TEST_F(Plughost, FloatWavHeadersCarryWhatReadersExpect) {
    ASSERT_EQ(run(kOneSecond + " -o " + path("out.wav")).status, 0);
    const std::string b = slurp(path("out.wav"));
    ASSERT_GT(b.size(), 64u);
    EXPECT_EQ(b.substr(12, 4), "fmt ");
    EXPECT_EQ(u32(b, 16), 18u);
    EXPECT_EQ(u32(b, 20) & 0xFFFF, 3u);  // IEEE float
    EXPECT_EQ(b.substr(38, 4), "fact");
    EXPECT_EQ(u32(b, 46), 44100u);
    EXPECT_EQ(b.substr(50, 4), "data");
    EXPECT_EQ(u32(b, 54), 44100u * 8);
    EXPECT_EQ(u32(b, 4), b.size() - 8);
}

TEST_F(Plughost, TheFormatFollowsTheNameUnlessFormatSaysOtherwise) {
    const struct {
        const char* name;
        const char* option;
        int format;  // 0: refused as a contradiction
    } cases[] = {
        {"a.wav", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"b.WAV", "pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"c.rf64", "pcm24", SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
        {"d.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"e.w64", "pcm24", SF_FORMAT_W64 | SF_FORMAT_PCM_24},
        {"f.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"g.flac", "pcm16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"h.ogg", "", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"i.out", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"j", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"k.wav", "flac", 0},
        {"l.flac", "float", 0},
        {"m.ogg", "pcm16", 0},
        {"n.aiff", "vorbis", 0},
    };
    for (const auto& c : cases) {
        const std::string option = *c.option ? std::string(" --format ") + c.option : "";
        const Outcome r = run("render " + kZur + " --seconds 0.2 -q -o " + path(c.name) + option);
        if (c.format == 0) {
            EXPECT_EQ(r.status, 2) << c.name << option;
            EXPECT_NE(r.err.find("contradicts the name"), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(path(c.name)));
            continue;
        }
        ASSERT_EQ(r.status, 0) << c.name << option << r.err;
        const Audio a = readAudio(path(c.name));
        EXPECT_EQ(a.format, c.format) << c.name << option;
        EXPECT_EQ(a.samples.size(), 2u * 8820) << c.name << option;
    }
    // Integer samples are rounded and clipped, never wrapped.
    const auto exact = readAudio(path("a.wav")).samples;
    const auto sixteen = readAudio(path("b.WAV")).samples;
    for (std::size_t n = 0; n < exact.size(); ++n)
        ASSERT_NEAR(sixteen[n], exact[n], 0.5 / 32768 + 1e-9) << n;
}

}  // namespace
