// The port map file: what a line means, where the file is, and how a change
// is written (other lines kept, the file replaced whole, a symlink kept).
#include "platform/portmap.h"
#include "tests/support/peers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

using tsupport::readFile;
using tsupport::writeFile;

TEST(PortMap, ParsesEntriesAndIgnoresWhatItDoesNotUnderstand) {
    const std::string longLine = "COM8 = /" + std::string(10000, 'a') + "\nCOM9 = /dev/ok\n";
    for (auto [text, port, expected] : {// port 0 asks for GPIB0
             std::tuple<std::string, int, const char*>{"COM1 = /dev/ttyUSB0\n", 1, "/dev/ttyUSB0"},
             {"COM1 = /dev/ttyUSB0\n", 2, "/dev/ttyS1"}, {"", 255, "/dev/ttyS254"}, {"   # COM2 = /dev/x\n", 2, "/dev/ttyS1"},
             {"COM3 = /dev/a\ncom3=/dev/b", 3, "/dev/b"}, {"  COM5\t=\t/dev/pts/3  \r\n", 5, "/dev/pts/3"},
             {"COM6 = /tmp/my port\n", 6, "/tmp/my port"}, {"COM6 /dev/x\n", 6, "/dev/ttyS5"},
             {"COM256 = /dev/x\nCOM25 = /dev/y\n", 25, "/dev/y"}, {"COM0007 = /dev/x\nCOM+7 = /dev/y\n", 7, "/dev/ttyS6"},
             {"COM7 = dev/ttyUSB0\n", 7, "/dev/ttyS6"}, {"COM7 = /dev/a\nCOM7 =\n", 7, "/dev/a"},
             {std::string("COM8 = /dev/tt\0y\n", 17), 8, "/dev/ttyS7"}, {"COM8 = /dev/tt\x01y\n", 8, "/dev/ttyS7"},
             {longLine, 8, "/dev/ttyS7"}, {longLine, 9, "/dev/ok"}, {"COM11x = /dev/x\n", 11, "/dev/ttyS10"},
             {"GPIB0 = linux-gpib 0\ngpib0 = prologix-tcp 127.0.0.1:1234", 0, "prologix-tcp 127.0.0.1:1234"},
             {"GPIB0 =   \n", 0, ""}, {"COM1 = /dev/x\n" + std::string(1 << 20, '#'), 1, "/dev/ttyS0"}}) {
        tsupport::IsolatedPortMap map;
        writeFile(map.file(), text);
        portmap::reload();
        EXPECT_EQ(port ? portmap::comPath(port) : portmap::gpibBoard(0), expected) << text.substr(0, 80);
    }
    EXPECT_EQ(portmap::comPath(0) + portmap::comPath(256) + portmap::gpibBoard(-1), "");
}

// A change rewrites its own entry (the last of duplicates) and keeps every
// other line; the file is replaced, not rewritten in place; overrides are not written.
TEST(PortMap, WritingKeepsOtherLinesAndReplacesTheFileWhole) {
    tsupport::IsolatedPortMap map;
    writeFile(map.file(), "# mine\nCOM1 = /dev/ttyUSB0\n\nCOM2 = /dev/old\nsome note\ncom2 = /dev/older\nGPIB0 = linux-gpib 0\n");
    portmap::reload();
    portmap::overrideCom(12, "/dev/pts/9");
    // What a killed save left is removed by the next save; a save still running keeps its file.
    const std::string dead = map.dir().file(".ports.cfg.dead01.tmp"), live = map.dir().file(".ports.cfg.live01.tmp");
    writeFile(dead, "half"), writeFile(live, "half");
    const int held = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(map.file().c_str(), &before), 0);
    ASSERT_TRUE(portmap::setComPath(2, "/dev/ttyACM0"));
    ASSERT_EQ(stat(map.file().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "rewritten in place";
    ASSERT_TRUE(portmap::setComPath(1, "") && portmap::setComPath(12, "/dev/pts/4"));
    ASSERT_TRUE(portmap::setGpibBoard(0, "prologix-tcp 127.0.0.1:1234"));
    EXPECT_FALSE(portmap::setComPath(3, "/dev/tty\nCOM4 = /dev/evil") || portmap::setComPath(3, "ttyUSB1"));
    EXPECT_EQ(readFile(map.file()),
        "# mine\n\nsome note\nCOM2 = /dev/ttyACM0\nGPIB0 = prologix-tcp 127.0.0.1:1234\nCOM12 = /dev/pts/4\n");
    std::vector<std::string> files;
    DIR* d = opendir(map.dir().path().c_str());
    for (const dirent* e; (e = readdir(d));)
        if (e->d_name != std::string(".") && e->d_name != std::string("..")) files.emplace_back(e->d_name);
    closedir(d);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{".ports.cfg.live01.tmp", "ports.cfg"})) << "a temporary file was left";
    ::close(held);
    EXPECT_EQ(portmap::comPath(12), "/dev/pts/9");
    portmap::reload();
    portmap::clearOverrides();
    EXPECT_EQ(portmap::comPath(12) + portmap::comPath(1), "/dev/pts/4/dev/ttyS0");
}

// The file named by XDG_CONFIG_HOME, its folder made when missing; a
// symlinked file stays a symlink; a file too large to be a port map is not
// overwritten, the choice holding for the run.
TEST(PortMap, FolderMadeSymlinkKeptAndAHugeFileLeftAlone) {
    tsupport::TempDir dir;
    tsupport::ScopedEnv ports("IMBENCH_PORTS", std::nullopt), xdg("XDG_CONFIG_HOME", dir.path());
    EXPECT_EQ(portmap::filePath(), dir.file("imbench/ports.cfg"));
    portmap::reload();
    ASSERT_TRUE(portmap::setComPath(1, "/dev/ttyUSB3"));
    EXPECT_EQ(readFile(dir.file("imbench/ports.cfg")), "COM1 = /dev/ttyUSB3\n");
    ASSERT_EQ(rename(dir.file("imbench/ports.cfg").c_str(), dir.file("real.cfg").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("real.cfg").c_str(), dir.file("imbench/ports.cfg").c_str()), 0);
    ASSERT_TRUE(portmap::setComPath(5, "/dev/ttyUSB5"));
    struct stat st { };
    EXPECT_TRUE(lstat(dir.file("imbench/ports.cfg").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir.file("real.cfg")), "COM1 = /dev/ttyUSB3\nCOM5 = /dev/ttyUSB5\n");
    const std::string big(2 << 20, '#');
    writeFile(dir.file("real.cfg"), big);
    EXPECT_FALSE(portmap::setComPath(2, "/dev/ttyUSB2"));
    EXPECT_EQ(readFile(dir.file("real.cfg")), big);
    EXPECT_EQ(portmap::comPath(2), "/dev/ttyUSB2");
}

} // namespace
