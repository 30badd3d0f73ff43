// The start-up steps before the modules run: the lock, the options, the program's folder,
// the analysis program's handshake and the process settings.
#include "bgn/bgn_startup.h"
#include "support/tempdir.h"
#include "sys/globals.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct VersionCase {
    const char *text;
    bool readable;
    u32 version;
};

TEST(BgnHandshake, VersionNumbersAreReadAsHexadecimal) {
    const VersionCase cases[] = {
        {"3010500\n", true, 0x03010500},
        {"03010500", true, 0x03010500},
        {"0x3010500\n", true, 0x03010500},
        {"  \t3010500 trailing words", true, 0x03010500},
        {"3010400\n", true, 0x03010400},
        {"ffffffff", true, 0xFFFFFFFF},
        {"123456789abcdef", true, 0xFFFFFFFF}, // beyond 32 bits: never equal to ours
        {"0x", true, 0},                       // the 0 before the x
        {"", false, 0},
        {"\n", false, 0},
        {"version 3010500", false, 0},
        {"-3010500", false, 0},
    };
    for (const VersionCase &c : cases) {
        u32 version = 0xDEAD;
        EXPECT_EQ(bgn_parse_hex_version(c.text, &version), c.readable) << '"' << c.text << '"';
        if (c.readable) {
            EXPECT_EQ(version, c.version) << '"' << c.text << '"';
        }
    }
}

TEST(BgnHandshake, TheHashAnswerMustBeginWithTwo) {
    EXPECT_TRUE(bgn_hash_answer_ok("2\n"));
    EXPECT_TRUE(bgn_hash_answer_ok("2 (md5)\n"));
    EXPECT_FALSE(bgn_hash_answer_ok("1\n"));
    EXPECT_FALSE(bgn_hash_answer_ok(" 2\n"));
    EXPECT_FALSE(bgn_hash_answer_ok(""));
}

struct TrackscanCase {
    const char *what;
    const char *version_answer; // null: the program does not exist
    const char *hash_answer;
    bgn_trackscan_outcome outcome;
    std::string printed;
    std::string asked; // the questions the program got, one a line
};

// Writes a stand-in analysis program that logs each question and prints the given answers.
std::string writeTrackscan(const orvtest::TempDir &dir, const TrackscanCase &c) {
    const std::string path = dir.file("trackscan");
    if (c.version_answer == nullptr) return path;
    std::ofstream(path) << "#!/bin/sh\necho \"$1\" >> '" << dir.file("asked") << "'\n"
                        << "case \"$1\" in\n--version) printf '" << c.version_answer << "';;\n"
                        << "--supports-hash) printf '" << c.hash_answer << "';;\nesac\n";
    chmod(path.c_str(), 0755);
    return path;
}

std::string readText(const std::string &path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BgnHandshake, OutcomesAndTheirLines) {
    const std::string compatible = "deckhost/trackscan have compatible versions of songanalysis (03010500)\n";
    const std::string unreadable = "Warning: failed to compare deckhost/trackscan versions\n";
    const std::string no_hash = "trackscan --supports-hash did not work as expected.\n"
                                "Your trackscan needs to be updated and recompiled.\n";
    const std::string both = "--version\n--supports-hash\n";
    const TrackscanCase cases[] = {
        {"compatible", "3010500\\n", "2\\n", BGN_TRACKSCAN_COMPATIBLE, compatible, both},
        {"compatible with 0x", "0x03010500\\n", "2 md5\\n", BGN_TRACKSCAN_COMPATIBLE, compatible, both},
        {"other version", "3010400\\n", "2\\n", BGN_TRACKSCAN_OTHER_VERSION,
         "deckhost/trackscan do NOT have compatible versions of songanalysis (03010500, 03010400)\n",
         "--version\n"},
        {"unreadable version", "", "2\\n", BGN_TRACKSCAN_COMPATIBLE, unreadable, both},
        {"unreadable version, no hash", "garbage\\n", "", BGN_TRACKSCAN_NO_HASH, unreadable + no_hash, both},
        {"hash answer 1", "3010500\\n", "1\\n", BGN_TRACKSCAN_NO_HASH, compatible + no_hash, both},
        {"missing program", nullptr, nullptr, BGN_TRACKSCAN_NO_HASH, unreadable + no_hash, ""},
    };
    for (const TrackscanCase &c : cases) {
        SCOPED_TRACE(c.what);
        orvtest::TempDir dir;
        const std::string path = writeTrackscan(dir, c);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bgn_trackscan_outcome outcome = bgn_check_trackscan(path.c_str());
        const std::string printed = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(readText(dir.file("asked")), c.asked);
    }
}

// Runs the handshake with every new descriptor refused, and ends with its outcome.
[[noreturn]] void checkWithoutDescriptors() {
    const int lowest_free = dup(0);
    close(lowest_free);
    rlimit none{};
    none.rlim_cur = none.rlim_max = static_cast<rlim_t>(lowest_free);
    setrlimit(RLIMIT_NOFILE, &none);
    std::_Exit(bgn_check_trackscan("/opt/trackscan"));
}

TEST(BgnHandshake, NoPipeMeansTheProgramIsNotInstalled) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkWithoutDescriptors(), testing::ExitedWithCode(BGN_TRACKSCAN_NOT_INSTALLED),
                "pipe: Too many open files");
}

struct OptionsCase {
    std::vector<const char *> args;
    bool go_on;
    bool queries, verbose_output, swap;
    std::string printed;
};

TEST(BgnOptions, SwitchesUsageAndTheIgnoredOption) {
    const std::string usage = "  -m\tenable message tracing (NOT AVAILABLE IN THIS BUILD)\n"
                              "  -q\tprint all database queries\n"
                              "  -v\tverbose message output\n"
                              "  -s\tswap hp and main outputs\n";
    const std::string ignored =
        "Argument '-m' ignored because message tracing is not available in this build.\n";
    const OptionsCase cases[] = {
        {{}, true, false, false, false, ""},
        {{"-q"}, true, true, false, false, ""},
        {{"-v", "-s"}, true, false, true, true, ""},
        {{"-qvs"}, true, true, true, true, ""},
        {{"-m"}, true, false, false, false, ignored},
        {{"-?"}, false, false, false, false, usage},
        {{"-x"}, false, false, false, false, usage},
        {{"-m", "-?"}, false, false, false, false, ignored + usage},
        {{"-q", "song.mp3", "-v"}, true, true, true, false, ""},
    };
    for (const OptionsCase &c : cases) {
        std::vector<char *> argv{const_cast<char *>("deckhost")};
        for (const char *arg : c.args) argv.push_back(const_cast<char *>(arg));
        argv.push_back(nullptr);
        SCOPED_TRACE(testing::PrintToString(c.args));
        print_queries = verbose = swap_hp_main = false;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool go_on = bgn_parse_options(static_cast<int>(argv.size() - 1), argv.data());
        const std::string printed = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(go_on, c.go_on);
        EXPECT_EQ(printed, c.printed);
        if (!go_on) continue;
        EXPECT_EQ(print_queries, c.queries);
        EXPECT_EQ(verbose, c.verbose_output);
        EXPECT_EQ(swap_hp_main, c.swap);
    }
    print_queries = verbose = swap_hp_main = false;
}

TEST(BgnFolder, TheProgramsFolderIsReadInFull) {
    orvtest::TempDir dir;
    const std::string deep =
        "/" + std::string(150, 'a') + "/" + std::string(150, 'b') + "/" + std::string(150, 'c');
    const struct {
        std::string target;
        std::string folder;
    } cases[] = {
        {"/opt/unit/deckhost/bin/deckhost", "/opt/unit/deckhost/bin"},
        {"deckhost", "."},
        {"/deckhost", "/"},
        {deep + "/deckhost", deep},
    };
    for (const auto &c : cases) {
        const std::string link = dir.file("link");
        unlink(link.c_str());
        ASSERT_EQ(symlink(c.target.c_str(), link.c_str()), 0);
        EXPECT_EQ(bgn_link_folder(link.c_str()), c.folder);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(bgn_link_folder(dir.file("missing").c_str()), ".");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "readlink: No such file or directory\n");
    EXPECT_EQ(bgn_startup_picture_path("/u/bin"),
              "/u/bin/../resources/GrayRed480x272/gtk-2.0/quilofour_startup_screen.rgb565");
}

// Exit code of a child that tries the lock: 0 when it got it.
int lockInChild(const std::string &path) {
    const pid_t pid = fork();
    if (pid == 0) std::_Exit(bgn_lock_try(path.c_str()) >= 0 ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BgnLock, OneProcessHoldsTheLockUntilItCloses) {
    orvtest::TempDir dir;
    const std::string path = dir.file("quilo.lock");
    const int fd = bgn_lock_try(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    EXPECT_EQ(lockInChild(path), 1);
    close(fd);
    EXPECT_EQ(lockInChild(path), 0);
    EXPECT_EQ(bgn_lock_try(dir.file("no/such/folder").c_str()), -1);
}

TEST(BgnProcess, ThreadsMadeLaterGetFourMegabyteStacks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bgn_set_stack_limit();
            rlimit limit{};
            getrlimit(RLIMIT_STACK, &limit);
            std::size_t stack = 0;
            std::thread([&stack] {
                pthread_attr_t attr;
                pthread_getattr_np(pthread_self(), &attr);
                pthread_attr_getstacksize(&attr, &stack);
                pthread_attr_destroy(&attr);
            }).join();
            std::_Exit(limit.rlim_cur == 0x400000 && stack == 0x400000 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(BgnProcess, TheLocaleIsSetUnlessTheEnvironmentChoseOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("LANGUAGE");
            setenv("LANG", "C", 1);
            bgn_set_locale();
            const bool ok = std::string(getenv("LANGUAGE")) == "en_US.utf8" &&
                            std::string(getenv("LANG")) == "C" &&
                            std::string(std::setlocale(LC_COLLATE, nullptr)) == "en_US.utf8" &&
                            std::string(std::setlocale(LC_CTYPE, nullptr)) == "C";
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(BgnProcess, ThreadsAreCounted) {
    const unsigned before = bgn_thread_count();
    EXPECT_GE(before, 1u);
    unsigned during = 0;
    std::thread([&during] { during = bgn_thread_count(); }).join();
    EXPECT_EQ(during, before + 1);
}

} // namespace
