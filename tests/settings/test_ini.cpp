// The INI text and files: what is written, what the reader makes of files
// edited elsewhere, number conversions, odd files, and a save that is
// all-or-nothing: targets that may not be replaced, syncs that fail, and a
// saving process killed at random moments.
#include "link/ifp.h"
#include "settings/ini.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

// While set, every fsync fails as on a disk that cannot take the data.
static bool g_failFsync = false;
extern "C" int fsync(int fd) {
    if (g_failFsync) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

using tsupport::readFile;
using tsupport::TempDir;
using tsupport::writeFile;
using Items = std::vector<std::pair<std::string, std::string>>;

IniText parse(const std::string& text) {
    IniText ini = ini_new(false);
    EXPECT_EQ(ini_read_from_text(ini.get(), text), kIniOk);
    return ini;
}

// Tags and string values of a section, in order.
Items itemsOf(const IniObject* ini, std::string_view section) {
    Items out;
    for (const std::string& tag : ini_item_tags(ini, section)) {
        std::string v;
        EXPECT_EQ(ini_get_string(ini, section, tag, &v), 1) << tag;
        out.emplace_back(tag, v);
    }
    return out;
}

TEST(IniText, WrittenText) {
    IniText ini = ini_new(false);
    ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "FREQUENCY", 1000.0), kIniOk);
    ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "CYCLE", static_cast<double>(0.1f)), kIniOk);
    ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "SMALL", -2.5e-5), kIniOk);
    ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "FREQUENCY", 2000.0), kIniOk); // keeps its place
    ASSERT_EQ(ini_put_int(ini.get(), "SAMPLE", "AUTO", -1), kIniOk);
    ASSERT_EQ(ini_put_uint(ini.get(), "SAMPLE", "MAX", 18446744073709551615ul), kIniOk);
    ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "EMPTY", ""), kIniOk);
    ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "ESCAPED", std::string("say \"hi\" C:\\d\t\x01\0", 16)), kIniOk);
    ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "EIGHTY", std::string(80, 'a')), kIniOk);
    ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "LONG", std::string(80, 'b') + "c"), kIniOk);
    EXPECT_EQ(ini_to_text(ini.get()),
        "[OUTPUT SOURCE]\r\nFREQUENCY = 2000\r\nCYCLE = 0.1000000014901161\r\nSMALL = -2.5e-05\r\n\r\n"
        "[SAMPLE]\r\nAUTO = -1\r\nMAX = 18446744073709551615\r\n\r\n"
        "[BACKDOOR]\r\nEMPTY = \"\"\r\nESCAPED = \"say \\\"hi\\\" C:\\\\d\\t\\x01\\x00\"\r\nEIGHTY = \"" +
            std::string(80, 'a') + "\"\r\nLONG Line0001 = \"" + std::string(80, 'b') +
            "\"\r\nLONG Line0002 = \"c\"\r\n\r\n");
}

// Files edited elsewhere: blanks, comments, odd lines and numbered pieces.
TEST(IniText, ReaderRules) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> sections;
        Items first; // items of the first section
    } cases[] = {
        {"blanks, comments, an item before any section", "EARLY = 1\r\n[A]\r\n  FREQUENCY=2000  \r\n"
                                                         "\t ; X = 3\r\n;[B]\r\nT = 10 ; no comment here\r\n",
            {"A"}, {{"FREQUENCY", "2000"}, {"T", "10 ; no comment here"}}},
        {"blanks around a section name", "[  name  ]  \t\nY = 2\n", {"name"}, {{"Y", "2"}}},
        {"malformed lines are skipped", "[A]\nX = 1\n[B\nnovalue\n = 5\nT =\n[  ]\nY = a = b", {"A"},
            {{"X", "1"}, {"Y", "a = b"}}},
        {"a line of 255 characters", "[A]\nK = " + std::string(251, 'v') + "\n", {"A"}, {{"K", std::string(251, 'v')}}},
        {"a line of 256 is dropped whole", "[A]\nL = " + std::string(252, 'v') + "\nY = 2\n", {"A"}, {{"Y", "2"}}},
        {"letter case of names ignored, the last value kept in the first place", "[A]\nY = 1\nZ = 0\n[a]\ny = 2\n",
            {"A"}, {{"Y", "2"}, {"Z", "0"}}},
        {"bytes of every kind, a byte order mark, a CR inside", "\xef\xbb\xbf[A]\n\x01\xff=\x80\nY = 2\r3\r\n", {"A"},
            {{"\x01\xff", "\x80"}, {"Y", "2\r3"}}},
        {"pieces joined in file order, any digits", "[A]\nA Line0001 = \"a \"\nA Line3 = x\n; note\nA Line00002 = \" b\"\n",
            {"A"}, {{"A", "a x b"}}},
        {"a joined item replaces an earlier one", "[A]\nA = old\nA Line0001 = n\nA Line0002 = ew\n", {"A"}, {{"A", "new"}}},
        {"a run ends at another item", "[A]\nA Line0001 = x\nC = 1\nA Line0002 = y\nB Line0002 = z\n", {"A"},
            {{"A", "x"}, {"C", "1"}, {"A Line0002", "y"}, {"B Line0002", "z"}}},
        {"no piece without digits, or in another section", "[A]\nA Line0001x = v\nA Line = w\nB Line0001 = u\n[B]\n"
                                                           "B Line0002 = t\n",
            {"A", "B"}, {{"A Line0001x", "v"}, {"A Line", "w"}, {"B", "u"}}},
    };
    for (const auto& c : cases) {
        IniText ini = parse(c.text);
        EXPECT_EQ(ini_section_names(ini.get()), c.sections) << c.name;
        EXPECT_EQ(itemsOf(ini.get(), c.sections.empty() ? "" : c.sections[0]), c.first) << c.name;
    }
}

TEST(IniText, RealsConvertOrLeaveTheVariable) {
    const std::tuple<const char*, int, double> cases[] = {// text, ini_get_double's result, value
        {"-2.5E+3", 1, -2500.0}, {"iNF", 1, HUGE_VAL}, {"-Inf", 1, -HUGE_VAL}, {"Infinity", kIniErrConvert, 0},
        {"nan", kIniErrConvert, 0}, {"1e400", kIniErrConvert, 0}, {"12abc", kIniErrConvert, 0},
        {"1,5", kIniErrConvert, 0}, {"\"5\"", kIniErrConvert, 0}};
    for (const auto& [text, rc, value] : cases) {
        IniText ini = parse(std::string("[S]\nV = ") + text + "\n");
        double d = -7.0;
        EXPECT_EQ(ini_get_double(ini.get(), "S", "V", &d), rc) << text;
        EXPECT_EQ(d, rc == 1 ? value : -7.0) << text;
    }
}

std::vector<std::string> entries(const TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

IniText text(char fill, int items = 1) {
    IniText ini = ini_new(false);
    for (int i = 0; i < items; ++i)
        EXPECT_EQ(ini_put_string(ini.get(), std::string(1, fill), "T" + std::to_string(i), std::string(100, fill)), kIniOk);
    return ini;
}

TEST(IniFile, OddFilesAreRefusedAndLeaveTheObject) {
    TempDir dir;
    writeFile(dir.file("nul.ini"), std::string("[A]\r\nX = 1\r\n\0\0\0", 15));
    writeFile(dir.file("empty.ini"), "");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    writeFile(dir.file("huge.ini"), "");
    ASSERT_EQ(::truncate(dir.file("huge.ini").c_str(), static_cast<off_t>(kIniMaxFileSize) + 1), 0);
    const std::pair<std::string, int> cases[] = {
        {dir.file("missing/deeper.ini"), kIniErrNotFound}, {dir.path(), kIniErrNotFile},
        {dir.file("fifo"), kIniErrNotFile}, {"/dev/null", kIniErrNotFile}, {dir.file("nul.ini"), kIniErrBinary},
        {dir.file("huge.ini"), kIniErrTooLarge}, {dir.file("empty.ini"), kIniOk}, {"", kIniErrArgument}};
    for (const auto& [path, rc] : cases) {
        IniText ini = text('K');
        EXPECT_EQ(ini_read_from_file(ini.get(), path.c_str()), rc) << path;
        EXPECT_EQ(ini_item_exists(ini.get(), "K", "T0"), 1) << path;
    }
}

// The target stays as it was, and no temporary file is left behind.
TEST(IniFile, ASaveThatCannotBeMadeLeavesTheTarget) {
    TempDir dir;
    const std::string ro = dir.file("ro.ini"), kept = dir.file("kept.ini");
    writeFile(ro, "[OLD]\r\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0); // honoured even by root, who may write anything
    writeFile(kept, "[OLD]\r\n");
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
    IniText ini = text('N', 200);
    EXPECT_EQ(ini_write_to_file(ini.get(), ro.c_str()), kIniErrReadOnly);
    EXPECT_EQ(ini_write_to_file(ini.get(), dir.file("sub").c_str()), kIniErrNotFile);
    EXPECT_EQ(ini_write_to_file(ini.get(), dir.file("nowhere/p.ini").c_str()), kIniErrWrite);
    g_failFsync = true;
    const int unsynced = ini_write_to_file(ini.get(), kept.c_str());
    g_failFsync = false;
    EXPECT_EQ(unsynced, kIniErrWrite) << "data not on the disk is not put in place";
    EXPECT_EQ(readFile(ro), "[OLD]\r\n");
    EXPECT_EQ(readFile(kept), "[OLD]\r\n");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"kept.ini", "ro.ini", "sub"}));
}

// A saving child killed at random moments: the target is always exactly the old
// or the new text, and temporary files of dead saves are removed by the next
// save.  For a profile and for device.cfg, which the program rewrites at quit.
TEST(IniFile, SaveKilledAtRandomMomentsLeavesOldOrNewFile) {
    TempDir dir;
    tsupport::ScopedEnv project("IMBENCH_PROJECT_DIR", dir.path());
    IniText a = text('a', 3000), b = text('b', 3000);
    const std::string profile = dir.file("profile.ini");
    const struct {
        std::string file, textA, textB;
        std::function<void(bool)> save;
    } savers[] = {
        {"profile.ini", ini_to_text(a.get()), ini_to_text(b.get()),
            [&](bool first) { ini_write_to_file((first ? a : b).get(), profile.c_str()); }},
        {"device.cfg", "11\n", "22\n", [](bool first) { int v = first ? 11 : 22; ifp_device_cfg(&v, 1); }},
    };
    for (const auto& saver : savers) {
        const std::string path = dir.file(saver.file);
        saver.save(true);
        const auto t0 = std::chrono::steady_clock::now();
        saver.save(true); // the old text, and how long a save takes
        const long saveUs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
        std::mt19937 rng(99);
        // At least 100 kills, more until 30 landed inside a save and both texts were seen (later on a slow disk).
        int interrupted = 0, seenA = 0, seenB = 0, rounds = 0;
        for (; rounds < 3000 && (rounds < 100 || interrupted < 30 || !seenA || !seenB); ++rounds) {
            const pid_t pid = ::fork();
            if (pid == 0)
                for (int n = 0;; ++n)
                    saver.save(n % 2 == 1);
            const long limit = std::max<long>(3 * saveUs, 200) * (1 + rounds / 50);
            std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long>(0, limit)(rng)));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            const std::string now = readFile(path).value_or("");
            ASSERT_TRUE(now == saver.textA || now == saver.textB) << saver.file << " round " << rounds << ": " << now;
            ++(now == saver.textA ? seenA : seenB);
            const std::size_t files = entries(dir).size() - (saver.file == "device.cfg"); // the profile stays
            ASSERT_LE(files, 2u);
            interrupted += files == 2;
        }
        std::printf("kill test of %s: %d rounds, %d inside a save, target old %d / new %d, one save %ld us\n",
            saver.file.c_str(), rounds, interrupted, seenA, seenB, saveUs);
        EXPECT_GE(interrupted, 30) << "the kills must land inside saves, or the test proves nothing";
        EXPECT_GT(seenA, 0);
        EXPECT_GT(seenB, 0);
        saver.save(true);
    }
    ASSERT_EQ(::chmod(profile.c_str(), 0444), 0);
    EXPECT_EQ(ini_write_to_file(a.get(), profile.c_str()), kIniErrReadOnly);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"device.cfg", "profile.ini"})) << "a failed save still cleans up";
}

} // namespace
