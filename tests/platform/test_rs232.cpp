// RS-232 over termios against a pseudo-terminal whose master the test holds:
// raw bytes both ways, buffered reads, the time-out in seconds, exclusive use,
// and what a user is told when a port cannot be opened for lack of permission.
#include "platform/portmap.h"
#include "platform/rs232.h"
#include "tests/support/peers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

class Rs232 : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128] = "";
        ASSERT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 && ptsname_r(master_, name, 128) == 0);
        path_ = name;
        portmap::overrideCom(7, path_);
        portmap::overrideCom(8, path_);
    }
    void TearDown() override {
        CloseCom(7), CloseCom(8);
        ::close(master_);
    }
    static int open(int port = 7) { return OpenComConfig(port, nullptr, 115200, 0, 8, 1, 512, 512); }
    void put(const std::string& bytes) { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    tsupport::IsolatedPortMap map_;
    int master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::string path_;
};

// CR, interrupt, XON, XOFF, DEL and LF are bytes here, not line controls.
TEST_F(Rs232, BytesPassRawBothWaysAndReadsAreBuffered) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    ASSERT_EQ(SetComTime(7, 5.0), 0);
    char out[9] = "AT\r\n\0\xff\x03\x11", back[9] = "";
    EXPECT_EQ(ComWrt(7, out, 8), 8);
    pollfd p{master_, POLLIN, 0};
    EXPECT_TRUE(poll(&p, 1, 5000) == 1 && ::read(master_, back, 8) == 8 && std::memcmp(out, back, 8) == 0);
    std::string in("\r\x03\x11\x13\x7f\n", 6), got;
    for (int i = 0; i < 1000; ++i) in += static_cast<char>('!' + i % 90);
    put(in);
    const long before = rs232_read_calls();
    for (int c; got.size() < in.size() && (c = ComRdByte(7)) >= 0;) got += static_cast<char>(c);
    EXPECT_EQ(got, in);
    EXPECT_LE(rs232_read_calls() - before, 50) << "not one read() per byte";
    put("abcdef");
    ASSERT_EQ(ComRdByte(7), 'a'); // the rest waits in the buffer or the kernel
    EXPECT_EQ(FlushInQ(7), 0);
    put("Z");
    EXPECT_EQ(ComRdByte(7), 'Z');
}

TEST_F(Rs232, TimeOutIsInSecondsAndAHangUpIsAReadError) {
    ASSERT_EQ(open(), 0) << rs232_last_error_text();
    for (auto [seconds, least, code] : {std::tuple{0.3, 290, RS232_ERR_TIMEOUT}, {10.0, 0, RS232_ERR_READ}}) {
        ASSERT_EQ(SetComTime(7, seconds), 0);
        if (least == 0)
            ::close(std::exchange(master_, -1)); // the other side hangs up
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ComRdByte(7), code);
        EXPECT_EQ(ReturnRS232Err(), code);
        EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(least));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    }
}

// The message names the device, the group owning it and how to join that
// group.  Root may open anything: its child gives up root first.
TEST_F(Rs232, RefusedOpenNamesTheGroupToJoin) {
    const group* dialout = getgrnam("dialout");
    ASSERT_TRUE(getuid() != 0 || chown(path_.c_str(), 0, dialout ? dialout->gr_gid : 20) == 0);
    ASSERT_EQ(chmod(path_.c_str(), getuid() == 0 ? 0660 : 0060), 0); // not root: the owner itself shut out
    struct stat st { };
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    const std::string group = getgrgid(st.st_gid) ? getgrgid(st.st_gid)->gr_name : std::to_string(st.st_gid);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    if (fork() == 0) {
        const bool dropped = getuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
        const bool refused = dropped && open() == RS232_ERR_PERMISSION;
        _exit(::write(fds[1], rs232_last_error_text(), std::strlen(rs232_last_error_text())) >= 0 && refused ? 0 : 1);
    }
    ::close(fds[1]);
    char buf[1024] = "";
    const std::string text(buf, static_cast<std::size_t>(std::max<ssize_t>(0, ::read(fds[0], buf, sizeof buf))));
    ::close(fds[0]);
    int status = 0;
    wait(&status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    const std::string join = getuid() == 0 ? "sudo usermod -aG " + group + " $USER" : "already has";
    for (const std::string& part : {"Permission denied opening " + path_, "group \"" + group + "\"", join})
        EXPECT_NE(text.find(part), std::string::npos) << text;
    ASSERT_EQ(chmod(path_.c_str(), 0600), 0); // a mode that shuts the group out is named as the problem
    EXPECT_NE(rs232_permission_hint(path_).find("mode 0600"), std::string::npos);
}

} // namespace
