#include "platform/portmap.h"

#include "support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>

using namespace test_support;

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct ParseCase {
    const char* name;
    std::string text;
    int port;             // COM port to ask for, or -1 to ask for GPIB0
    std::string expected;
};

TEST(PortMap, ParsesEntriesAndIgnoresWhatItDoesNotUnderstand) {
    const ParseCase cases[] = {
        {"plain", "COM1 = /dev/ttyUSB0\n", 1, "/dev/ttyUSB0"},
        {"no entry gives ttyS", "COM1 = /dev/ttyUSB0\n", 2, "/dev/ttyS1"},
        {"port 255 default", "", 255, "/dev/ttyS254"},
        {"comment", "# COM2 = /dev/ttyACM0\n", 2, "/dev/ttyS1"},
        {"indented comment", "   # COM2 = /dev/ttyACM0\n", 2, "/dev/ttyS1"},
        {"last duplicate wins", "COM3 = /dev/a\nCOM3 = /dev/b\n", 3, "/dev/b"},
        {"lower case key, no spaces", "com4=/dev/ttyACM0", 4, "/dev/ttyACM0"},
        {"tabs and CRLF", "  COM5\t=\t/dev/pts/3  \r\n", 5, "/dev/pts/3"},
        {"path with spaces", "COM6 = /tmp/my port\n", 6, "/tmp/my port"},
        {"no equals sign", "COM6 /dev/x\n", 6, "/dev/ttyS5"},
        {"no number", "COM = /dev/x\n", 1, "/dev/ttyS0"},
        {"number too large", "COM256 = /dev/x\nCOM25 = /dev/y\n", 25, "/dev/y"},
        {"port 0", "COM0 = /dev/x\n", 1, "/dev/ttyS0"},
        {"four digits", "COM0007 = /dev/x\n", 7, "/dev/ttyS6"},
        {"sign", "COM+7 = /dev/x\nCOM-7 = /dev/y\n", 7, "/dev/ttyS6"},
        {"relative path", "COM7 = dev/ttyUSB0\n", 7, "/dev/ttyS6"},
        {"empty value", "COM7 = /dev/a\nCOM7 =\n", 7, "/dev/a"},
        {"control character", std::string("COM8 = /dev/tt\x01y\n"), 8, "/dev/ttyS7"},
        {"NUL in line", std::string("COM8 = /dev/tt\0y\n", 17), 8, "/dev/ttyS7"},
        {"very long line", "COM8 = /" + std::string(10000, 'a') + "\nCOM9 = /dev/ok\n", 8, "/dev/ttyS7"},
        {"line after a long one", "COM8 = /" + std::string(10000, 'a') + "\nCOM9 = /dev/ok\n", 9, "/dev/ok"},
        {"no newline at end", "COM10 = /dev/last", 10, "/dev/last"},
        {"key with junk after number", "COM11x = /dev/x\n", 11, "/dev/ttyS10"},
        {"gpib tcp", "GPIB0 = prologix-tcp 127.0.0.1:1234\n", -1, "prologix-tcp 127.0.0.1:1234"},
        {"gpib last wins", "GPIB0 = linux-gpib 0\ngpib0 = prologix-serial /dev/ttyUSB1\n", -1,
         "prologix-serial /dev/ttyUSB1"},
        {"gpib absent", "COM1 = /dev/ttyUSB0\n", -1, ""},
        {"gpib empty", "GPIB0 =   \n", -1, ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        IsolatedPortMap map;
        writeFile(map.file(), c.text);
        portmap::reload();
        EXPECT_EQ(c.port < 0 ? portmap::gpibBoard(0) : portmap::comPath(c.port), c.expected);
    }
}

TEST(PortMap, OutOfRangeNumbersHaveNoPath) {
    IsolatedPortMap map;
    EXPECT_EQ(portmap::comPath(0), "");
    EXPECT_EQ(portmap::comPath(256), "");
    EXPECT_EQ(portmap::comPath(-3), "");
    EXPECT_EQ(portmap::gpibBoard(-1), "");
    EXPECT_FALSE(portmap::setComPath(0, "/dev/x"));
    EXPECT_FALSE(portmap::setComPath(256, "/dev/x"));
}

TEST(PortMap, RandomBytesNeverYieldAnInvalidPath) {
    IsolatedPortMap map;
    std::mt19937 rng(12345);
    for (int round = 0; round < 50; ++round) {
        std::string text;
        size_t n = rng() % 5000;
        for (size_t i = 0; i < n; ++i) {
            // Lean towards the characters the format is made of.
            const char alphabet[] = "COMGPIB0123456789= /#\n\r\t\x01\xff";
            text += rng() % 3 == 0 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
        }
        writeFile(map.file(), text);
        portmap::reload();
        for (int port = 1; port <= 255; ++port) {
            std::string path = portmap::comPath(port);
            ASSERT_FALSE(path.empty());
            ASSERT_EQ(path[0], '/');
            for (char ch : path) ASSERT_GE(static_cast<unsigned char>(ch), 0x20);
        }
    }
}

TEST(PortMap, FileLocationFollowsTheEnvironment) {
    {
        ScopedEnv ports("IMBENCH_PORTS", std::string("/tmp/x/ports.cfg"));
        EXPECT_EQ(portmap::filePath(), "/tmp/x/ports.cfg");
    }
    ScopedEnv ports("IMBENCH_PORTS", std::nullopt);
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::string("/cfg"));
        EXPECT_EQ(portmap::filePath(), "/cfg/imbench/ports.cfg");
    }
    ScopedEnv home("HOME", std::string("/home/someone"));
    for (auto xdg : {std::optional<std::string>(), std::optional<std::string>(""),
                     std::optional<std::string>("relative")}) {
        ScopedEnv x("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(portmap::filePath(), "/home/someone/.config/imbench/ports.cfg");
    }
}

std::vector<std::string> dirEntries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

TEST(PortMap, WritingKeepsCommentsAndReplacesAtomically) {
    IsolatedPortMap map;
    writeFile(map.file(),
              "# my adapters\n"
              "COM1 = /dev/ttyUSB0\n"
              "\n"
              "COM2 = /dev/old\n"
              "some note the program does not know\n"
              "# trailing\n"
              "com2 = /dev/older\n"
              "GPIB0 = linux-gpib 0\n");
    portmap::reload();
    struct stat before {};
    ASSERT_EQ(::stat(map.file().c_str(), &before), 0);

    ASSERT_TRUE(portmap::setComPath(2, "/dev/ttyACM0"));
    EXPECT_EQ(readFile(map.file()),
              "# my adapters\n"
              "COM1 = /dev/ttyUSB0\n"
              "\n"
              "some note the program does not know\n"
              "# trailing\n"
              "COM2 = /dev/ttyACM0\n"
              "GPIB0 = linux-gpib 0\n");
    EXPECT_EQ(portmap::comPath(2), "/dev/ttyACM0");
    struct stat after {};
    ASSERT_EQ(::stat(map.file().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "the file was rewritten in place, not replaced";

    ASSERT_TRUE(portmap::setComPath(1, ""));
    ASSERT_TRUE(portmap::setComPath(12, "/dev/pts/4"));
    ASSERT_TRUE(portmap::setGpibBoard(0, "prologix-tcp 127.0.0.1:1234"));
    EXPECT_EQ(readFile(map.file()),
              "# my adapters\n"
              "\n"
              "some note the program does not know\n"
              "# trailing\n"
              "COM2 = /dev/ttyACM0\n"
              "GPIB0 = prologix-tcp 127.0.0.1:1234\n"
              "COM12 = /dev/pts/4\n");
    EXPECT_EQ(portmap::comPath(1), "/dev/ttyS0");
    EXPECT_EQ(dirEntries(map.dir().path()), std::vector<std::string>{"ports.cfg"}) << "temporary file left behind";

    // What was written is what a fresh read finds.
    portmap::reload();
    EXPECT_EQ(portmap::comPath(12), "/dev/pts/4");
    EXPECT_EQ(portmap::gpibBoard(0), "prologix-tcp 127.0.0.1:1234");
}

TEST(PortMap, InvalidValuesAreNotWritten) {
    IsolatedPortMap map;
    writeFile(map.file(), "COM3 = /dev/ttyUSB0\n");
    portmap::reload();
    EXPECT_FALSE(portmap::setComPath(3, "ttyUSB1"));
    EXPECT_FALSE(portmap::setComPath(3, "/dev/tty\nCOM4 = /dev/evil"));
    EXPECT_FALSE(portmap::setGpibBoard(0, "linux-gpib 0\nCOM4 = /dev/evil"));
    EXPECT_EQ(readFile(map.file()), "COM3 = /dev/ttyUSB0\n");
    EXPECT_EQ(portmap::comPath(3), "/dev/ttyUSB0");
}

TEST(PortMap, MissingFileAndFolderAreCreated) {
    TempDir dir;
    ScopedEnv ports("IMBENCH_PORTS", std::nullopt);
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path());
    portmap::clearOverrides();
    portmap::reload();
    EXPECT_EQ(portmap::comPath(1), "/dev/ttyS0");
    ASSERT_TRUE(portmap::setComPath(1, "/dev/ttyUSB3"));
    EXPECT_EQ(readFile(dir.file("imbench/ports.cfg")), "COM1 = /dev/ttyUSB3\n");
    portmap::reload();
    EXPECT_EQ(portmap::comPath(1), "/dev/ttyUSB3");
}

TEST(PortMap, SymlinkedFileStaysASymlink) {
    IsolatedPortMap map;
    std::string real = map.dir().file("real.cfg");
    writeFile(real, "# kept elsewhere\n");
    ASSERT_EQ(::symlink(real.c_str(), map.file().c_str()), 0);
    portmap::reload();
    ASSERT_TRUE(portmap::setComPath(5, "/dev/ttyUSB5"));
    struct stat st {};
    ASSERT_EQ(::lstat(map.file().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(real), "# kept elsewhere\nCOM5 = /dev/ttyUSB5\n");
}

TEST(PortMap, OverridesWinAndAreNeverWritten) {
    IsolatedPortMap map;
    writeFile(map.file(), "COM1 = /dev/ttyUSB0\nGPIB0 = linux-gpib 0\n");
    portmap::reload();
    portmap::overrideCom(1, "/dev/pts/9");
    portmap::overrideGpib(0, "prologix-tcp 127.0.0.1:5555");
    EXPECT_EQ(portmap::comPath(1), "/dev/pts/9");
    EXPECT_EQ(portmap::gpibBoard(0), "prologix-tcp 127.0.0.1:5555");

    ASSERT_TRUE(portmap::setComPath(2, "/dev/ttyUSB2"));
    EXPECT_EQ(readFile(map.file()), "COM1 = /dev/ttyUSB0\nGPIB0 = linux-gpib 0\nCOM2 = /dev/ttyUSB2\n");

    portmap::overrideCom(1, "");   // an empty override removes it
    EXPECT_EQ(portmap::comPath(1), "/dev/ttyUSB0");
    portmap::clearOverrides();
    EXPECT_EQ(portmap::gpibBoard(0), "linux-gpib 0");
}

TEST(PortMap, OversizedFileIsNeitherParsedNorOverwritten) {
    IsolatedPortMap map;
    std::string big = "COM1 = /dev/ttyUSB0\n" + std::string(2 << 20, '#');
    writeFile(map.file(), big);
    portmap::reload();
    EXPECT_EQ(portmap::comPath(1), "/dev/ttyS0");
    EXPECT_FALSE(portmap::setComPath(2, "/dev/ttyUSB2"));
    EXPECT_EQ(readFile(map.file()).size(), big.size());
    EXPECT_EQ(portmap::comPath(2), "/dev/ttyUSB2") << "the choice still holds for this run";
}

}  // namespace
