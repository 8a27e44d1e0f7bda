// The link table: 64 slots whose index is the handle, and what every
// operation does with a handle that is out of range or not open.
#include "link/io.h"
#include "link/io_private.h"
#include "tests/link/io_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace iotest;

namespace {

// UDP links open without traffic, so they fill the table cheaply.  Nobody
// listens here; the CLOSE notices go nowhere.
const char* kAddr = "127.77.3.1";

class IoTable : public ::testing::Test {
protected:
    void SetUp() override { usersBefore_ = io_socket_users(); }
    void TearDown() override
    {
        closeAllLinks();
        EXPECT_EQ(io_socket_users(), usersBefore_);
    }
    int usersBefore_ = 0;
};

TEST_F(IoTable, SixtyFifthOpenFailsAndAFreedSlotIsReusedInOrder)
{
    std::vector<int> handles;
    for (int i = 0; i < IO_MAX_LINKS; ++i) {
        const int h = io_open(IO_UDP, kAddr, 0);
        ASSERT_EQ(h, i);
        handles.push_back(h);
    }
    EXPECT_EQ(io_socket_users(), usersBefore_ + IO_MAX_LINKS);
    EXPECT_EQ(io_open(IO_UDP, kAddr, 0), -1);
    EXPECT_EQ(io_socket_users(), usersBefore_ + IO_MAX_LINKS);

    io_close(41);
    io_close(17);
    EXPECT_EQ(io_open(IO_UDP, kAddr, 0), 17);
    EXPECT_EQ(io_open(IO_UDP, kAddr, 0), 41);
    EXPECT_EQ(io_open(IO_UDP, kAddr, 0), -1);
}

TEST_F(IoTable, FreedSlotReadsAsFree)
{
    const int h = io_open(IO_UDP, kAddr, 0);
    ASSERT_GE(h, 0);
    io_close(h);
    const io_link* l = io_get_link(h);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->kind, -1);
    EXPECT_EQ(l->peer, 0xFFFFFFFFu);
}

TEST_F(IoTable, CloseOfAnInvalidOrFreeHandleDoesNothing)
{
    const int h = io_open(IO_UDP, kAddr, 0);
    ASSERT_EQ(h, 0);
    io_close(64);
    io_close(-1);
    io_close(INT_MIN);
    io_close(5);
    EXPECT_EQ(io_get_link(h)->kind, IO_UDP);
    EXPECT_EQ(io_socket_users(), usersBefore_ + 1);
    io_close(h);
    EXPECT_EQ(io_socket_users(), usersBefore_);
    io_close(h);
    EXPECT_EQ(io_socket_users(), usersBefore_);
}

TEST_F(IoTable, OperationsOnInvalidOrFreeHandles)
{
    char buf[8] = "keep";
    for (int h : {-1, 64, 1000, 3}) {
        EXPECT_EQ(io_write(h, "X"), -1) << h;
        EXPECT_EQ(io_read(h, buf, sizeof buf), -1) << h;
        EXPECT_EQ(io_get_remote_address(h), nullptr) << h;
        io_timeout(h, 100);
        io_flush_data(h);
    }
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(io_get_link(-1), nullptr);
    EXPECT_EQ(io_get_link(64), nullptr);
}

TEST_F(IoTable, KindsOutsideTheTableAndMismatchedAddressesFail)
{
    const int port = 1;
    EXPECT_EQ(io_open(-1, kAddr, 0), -1);
    EXPECT_EQ(io_open(5, kAddr, 0), -1);
    EXPECT_EQ(io_open(5, &port, 9600), -1);
    EXPECT_EQ(io_open(IO_TCP, &port, 0), -1);
    EXPECT_EQ(io_open(IO_COM, kAddr, 9600), -1);
    EXPECT_EQ(io_open(IO_GPIB, kAddr, 0), -1);
    EXPECT_EQ(io_get_link(0)->kind, -1);
    EXPECT_EQ(io_socket_users(), usersBefore_);
}

TEST_F(IoTable, NetworkTimeoutIsStoredAndNegativeMeansAVeryLongWait)
{
    const int h = io_open(IO_UDP, kAddr, 0);
    ASSERT_GE(h, 0);
    io_timeout(h, 1234);
    EXPECT_EQ(io_get_link(h)->timeout, 1234);
    io_timeout(h, -1);
    EXPECT_EQ(io_get_link(h)->timeout, -1);
    // Read as 2^32 - 1 ms: longer than any deadline can say, so the longest one.
    EXPECT_EQ(io_detail::wait_ms(*io_get_link(h)), INT32_MAX);
}

TEST_F(IoTable, NoHookMeansNothingIsFormattedAndAHookSeesLevelAndText)
{
    const int h = io_open(IO_UDP, kAddr, 0);
    ASSERT_GE(h, 0);
    io_timeout(h, 20);
    char buf[8];
    EXPECT_EQ(io_read(h, buf, sizeof buf), -1);   // no hook: nothing to see, nothing breaks
    MessageLog log;
    EXPECT_EQ(io_read(h, buf, sizeof buf), -1);
    EXPECT_EQ(log.all(), (std::vector<Message>{{1, "io_read:(-1)"}}));
    // A message longer than the formatting buffer is cut, not overrun.
    log.clear();
    const std::string huge(2000, 'h');
    EXPECT_EQ(io_write(h, huge.c_str()), -1);
    ASSERT_EQ(log.all().size(), 1u);
    EXPECT_EQ(log.all()[0].text.size(), 511u);
    EXPECT_EQ(log.all()[0].text.rfind("io_write:(-1) hhh", 0), 0u);
}

}  // namespace
