#include "platform/portmap.h"
#include "platform/posix_io.h"
#include "platform/rs232.h"

#include "support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

using namespace test_support;

namespace {

constexpr int kPort = 7;
constexpr int kOtherPort = 8;

class Rs232 : public ::testing::Test {
protected:
    void SetUp() override { portmap::overrideCom(kPort, pty.slavePath()); }
    void TearDown() override {
        CloseCom(kPort);
        CloseCom(kOtherPort);
    }
    int open(long baud = 9600) { return OpenComConfig(kPort, "COM7", baud, 0, 8, 1, 512, 512); }

    IsolatedPortMap map;
    Pty pty;
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST_F(Rs232, ReadsAreBufferedNotOneSystemCallPerByte) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    std::string sent;
    for (int i = 0; i < 1000; ++i) sent += static_cast<char>('!' + i % 90);
    pty.write(sent);

    long before = rs232_read_calls();
    std::string got;
    for (size_t i = 0; i < sent.size(); ++i) {
        int c = ComRdByte(kPort);
        ASSERT_GE(c, 0) << "byte " << i << " error " << c;
        got += static_cast<char>(c);
    }
    long reads = rs232_read_calls() - before;
    EXPECT_EQ(got, sent);
    EXPECT_GE(reads, 1);
    // One system call per byte would be 1000; a pty delivers in a few chunks.
    EXPECT_LE(reads, 50) << "read() calls for 1000 bytes";
}

TEST_F(Rs232, ReadTimeOutGivesMinus99WithinTheTimeOut) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdByte(kPort), -99);
    double waited = secondsSince(t0);
    EXPECT_EQ(ReturnRS232Err(), RS232_ERR_TIMEOUT);
    EXPECT_GE(waited, 0.29);
    EXPECT_LT(waited, 5.0);

    // A byte after the time-out is read normally and clears the error.
    pty.write("x");
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    EXPECT_EQ(ComRdByte(kPort), 'x');
    EXPECT_EQ(ReturnRS232Err(), 0);
}

TEST_F(Rs232, PortIsTakenExclusively) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    portmap::overrideCom(kOtherPort, pty.slavePath());
    EXPECT_EQ(OpenComConfig(kOtherPort, "COM8", 9600, 0, 8, 1, 512, 512), RS232_ERR_BUSY);
    EXPECT_EQ(ReturnRS232Err(), RS232_ERR_BUSY);
    EXPECT_NE(std::string(rs232_last_error_text()).find(pty.slavePath()), std::string::npos)
        << rs232_last_error_text();

    ASSERT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(OpenComConfig(kOtherPort, "COM8", 9600, 0, 8, 1, 512, 512), 0) << rs232_last_error_text();
}

TEST_F(Rs232, PortHeldByAnotherProgramIsBusy) {
    int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(open(), RS232_ERR_BUSY);
    ::close(fd);
    EXPECT_EQ(open(), 0) << rs232_last_error_text();
}

TEST_F(Rs232, RawModeBytesPassUnchangedBothWays) {
    ASSERT_EQ(open(115200), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    const std::string out("AT\r\n\x00\xff\x03\x11", 8);
    EXPECT_EQ(ComWrt(kPort, out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    EXPECT_EQ(pty.read(out.size()), out);

    // CR, interrupt, XON, XOFF, DEL, LF must arrive as bytes, not act on the line.
    const std::string in("\r\x03\x11\x13\x7f\n", 6);
    pty.write(in);
    std::string got;
    for (size_t i = 0; i < in.size(); ++i) {
        int c = ComRdByte(kPort);
        ASSERT_GE(c, 0);
        got += static_cast<char>(c);
    }
    EXPECT_EQ(got, in);
}

struct LineCase {
    long baud;
    int parity, dataBits, stopBits;
    speed_t speed;
    tcflag_t parityBits;   // PARENB | PARODD | CMSPAR as expected
    bool twoStop;
};

TEST_F(Rs232, LineSettingsReachTheDevice) {
    const LineCase cases[] = {
        {9600, RS232_PARITY_NONE, 8, 1, B9600, 0, false},
        {115200, RS232_PARITY_EVEN, 7, 1, B115200, PARENB, false},
        {19200, RS232_PARITY_ODD, 8, 2, B19200, PARENB | PARODD, true},
        {921600, RS232_PARITY_MARK, 8, 1, B921600, PARENB | PARODD | CMSPAR, false},
        {300, RS232_PARITY_SPACE, 5, 2, B300, PARENB | CMSPAR, true},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(OpenComConfig(kPort, "COM7", c.baud, c.parity, c.dataBits, c.stopBits, 512, 512), 0)
            << rs232_last_error_text();
        // The master side reports the slave's settings.  A pty forces 8 data
        // bits and clears the parity enable, so those two cannot be seen here.
        termios t {};
        ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.parityBits & (PARODD | CMSPAR));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        ASSERT_EQ(CloseCom(kPort), 0);
    }
}

TEST(Rs232LineSettings, DataBitsParityAndStopBitsMapToTermios) {
    const struct {
        int parity, dataBits, stopBits;
        tcflag_t cflag;   // CSIZE, PARENB, PARODD, CMSPAR and CSTOPB as expected
    } cases[] = {
        {RS232_PARITY_NONE, 8, 1, CS8},
        {RS232_PARITY_EVEN, 7, 1, CS7 | PARENB},
        {RS232_PARITY_ODD, 8, 2, CS8 | PARENB | PARODD | CSTOPB},
        {RS232_PARITY_MARK, 6, 1, CS6 | PARENB | PARODD | CMSPAR},
        {RS232_PARITY_SPACE, 5, 2, CS5 | PARENB | CMSPAR | CSTOPB},
    };
    const tcflag_t mask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.parity << " " << c.dataBits << " " << c.stopBits);
        termios t {};
        t.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;   // leftovers of an earlier user
        t.c_iflag = IXON | IXOFF | ICRNL;
        t.c_lflag = ICANON | ECHO | ISIG;
        std::string why;
        ASSERT_EQ(posix_io::makeRawTermios(t, 9600, c.parity, c.dataBits, c.stopBits, why), 0) << why;
        EXPECT_EQ(t.c_cflag & mask, c.cflag);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_NE(t.c_cflag & (CLOCAL | CREAD), 0u);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != RS232_PARITY_NONE);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    }
}

TEST_F(Rs232, HandshakeModesSetAndClearTheirFlags) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    termios t {};
    ASSERT_EQ(SetXMode(kPort, 1), 0);
    ASSERT_EQ(SetCTSMode(kPort, 1), 0);
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    ASSERT_EQ(SetXMode(kPort, 0), 0);
    ASSERT_EQ(SetCTSMode(kPort, 0), 0);
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
}

TEST_F(Rs232, FlushInQDropsBufferedAndPendingBytes) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    pty.write("abcdef");
    ASSERT_EQ(ComRdByte(kPort), 'a');   // the rest now waits in the buffer or the kernel
    ASSERT_EQ(FlushInQ(kPort), 0);
    pty.write("Z");
    EXPECT_EQ(ComRdByte(kPort), 'Z');
    EXPECT_EQ(FlushOutQ(kPort), 0);
    EXPECT_GE(GetOutQLen(kPort), 0);
}

TEST_F(Rs232, HangUpIsAReadErrorNotATimeOut) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(kPort, 10.0), 0);
    pty.closeMaster();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdByte(kPort), RS232_ERR_READ);
    EXPECT_LT(secondsSince(t0), 5.0);
}

TEST_F(Rs232, CallsOnPortsThatAreNotOpenFail) {
    const int ports[] = {kPort, 0, 256, -1};
    for (int p : ports) {
        SCOPED_TRACE(p);
        int expected = p == kPort ? RS232_ERR_PORT_NOT_OPEN : RS232_ERR_BAD_PARAMETER;
        EXPECT_EQ(ComRdByte(p), expected);
        EXPECT_EQ(ReturnRS232Err(), expected);
        EXPECT_EQ(ComWrt(p, "x", 1), expected);
        EXPECT_EQ(SetComTime(p, 1.0), expected);
        EXPECT_EQ(CloseCom(p), expected);
    }
}

TEST_F(Rs232, BadOpenArgumentsAndPathsAreRefused) {
    std::string plainFile = map.dir().file("not-a-tty");
    ASSERT_EQ(::close(::open(plainFile.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    portmap::overrideCom(20, "/dev/imbench-no-such-device");
    portmap::overrideCom(21, plainFile);

    struct Case {
        int port;
        long baud;
        int parity, data, stop;
        int expected;
        const char* textHas;
    } cases[] = {
        {kPort, 12345, 0, 8, 1, RS232_ERR_BAD_PARAMETER, "baud"},
        {kPort, 0, 0, 8, 1, RS232_ERR_BAD_PARAMETER, "baud"},
        {kPort, 9600, 5, 8, 1, RS232_ERR_BAD_PARAMETER, "parity"},
        {kPort, 9600, 0, 9, 1, RS232_ERR_BAD_PARAMETER, "data bits"},
        {kPort, 9600, 0, 8, 3, RS232_ERR_BAD_PARAMETER, "stop bits"},
        {0, 9600, 0, 8, 1, RS232_ERR_BAD_PARAMETER, "1..255"},
        {256, 9600, 0, 8, 1, RS232_ERR_BAD_PARAMETER, "1..255"},
        {20, 9600, 0, 8, 1, RS232_ERR_OPEN_FAILED, "does not exist"},
        {21, 9600, 0, 8, 1, RS232_ERR_OPEN_FAILED, "not a serial port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.port) + " " + c.textHas);
        EXPECT_EQ(OpenComConfig(c.port, nullptr, c.baud, c.parity, c.data, c.stop, 512, 512), c.expected);
        EXPECT_NE(std::string(rs232_last_error_text()).find(c.textHas), std::string::npos)
            << rs232_last_error_text();
    }
    // None of the refusals left the port half open.
    EXPECT_EQ(open(), 0) << rs232_last_error_text();
}

std::string groupNameOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "?";
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : std::to_string(st.st_gid);
}

TEST(Rs232Permission, HintNamesTheGroupAndTheCommand) {
    TempDir dir;
    std::string node = dir.file("ttyFAKE0");
    ASSERT_EQ(::close(::open(node.c_str(), O_CREAT | O_WRONLY, 0660)), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    if (::getuid() == 0) {
        const group* dialout = ::getgrnam("dialout");
        ASSERT_EQ(::chown(node.c_str(), 0, dialout ? dialout->gr_gid : 20), 0);
    }
    const std::string group = groupNameOf(node);
    std::string hint = rs232_permission_hint(node);
    EXPECT_NE(hint.find(node), std::string::npos) << hint;
    if (::getuid() == 0) {
        // Root is not in dialout: the usual case of a user who has not joined it.
        EXPECT_NE(hint.find("group \"" + group + "\""), std::string::npos) << hint;
        EXPECT_NE(hint.find("sudo usermod -aG " + group + " $USER"), std::string::npos) << hint;
    } else {
        // The file has our own group, so joining it cannot be the advice.
        EXPECT_NE(hint.find("already has"), std::string::npos) << hint;
    }

    // A mode that shuts the group out is named as the problem instead.
    ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
    hint = rs232_permission_hint(node);
    EXPECT_NE(hint.find("0600"), std::string::npos) << hint;
    EXPECT_EQ(hint.find("usermod -aG " + group), std::string::npos) << hint;
}

// Opens a real device node without the right to, and checks what the user is told.
// Root may open anything, so as root the child gives up root first.
TEST(Rs232Permission, RefusedOpenReportsPermissionAndTheGroup) {
    IsolatedPortMap map;
    Pty pty;
    const std::string node = pty.slavePath();
    if (::getuid() == 0) {
        const group* dialout = ::getgrnam("dialout");
        ASSERT_EQ(::chown(node.c_str(), 0, dialout ? dialout->gr_gid : 20), 0);
        ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(node.c_str(), 0060), 0);   // the owner itself shut out
    }
    const std::string group = groupNameOf(node);
    portmap::overrideCom(kPort, node);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        int r = OpenComConfig(kPort, "COM7", 9600, 0, 8, 1, 512, 512);
        std::string text = rs232_last_error_text();
        (void)!::write(fds[1], text.data(), text.size());
        ::_exit(r == RS232_ERR_PERMISSION ? 0 : 1);
    }
    ::close(fds[1]);
    std::string text;
    char buf[1024];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop root in the child";
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find(node), std::string::npos) << text;
    EXPECT_NE(text.find(group), std::string::npos) << text;
}

}  // namespace
