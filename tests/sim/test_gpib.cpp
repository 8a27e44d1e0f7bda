// The Prologix-style GPIB adapter over a real loopback connection.
#include <gtest/gtest.h>

#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

using simtest::Stream;

const std::string kIdn = sim::kDefaultIdn;

struct GpibSim {
    sim::Simulator sim;
    Stream adapter;
    GpibSim() : sim(options()) {
        if (!sim.start()) ADD_FAILURE() << sim.error();
        adapter = Stream::tcp("127.0.0.1", sim.gpibPort());
        if (!adapter.valid()) ADD_FAILURE() << "no connection";
    }
    static sim::Options options() {
        sim::Options o;
        o.gpibPort = 0;
        o.gpibAddress = 5;
        o.tcp = o.udp = o.pty = false;
        return o;
    }
};

TEST(SimGpib, AdapterCommandsAnswerAndQueriesAreReadWithoutOkLines) {
    GpibSim g;
    ASSERT_TRUE(g.adapter.send("++ver\n"));
    const auto ver = g.adapter.readOnce();
    ASSERT_TRUE(ver);
    EXPECT_NE(ver->find("Prologix"), std::string::npos);
    EXPECT_EQ(ver->substr(ver->size() - 2), "\r\n");
    ASSERT_TRUE(g.adapter.send("++mode 1\n++addr 5\n++auto 0\n++eoi 1\n++eos 3\n++addr\n++eos\n"));
    EXPECT_EQ(g.adapter.readBytes(6), "5\r\n3\r\n");

    ASSERT_TRUE(g.adapter.send("IM:MODE 2\n*IDN?\n++read eoi\n"));
    EXPECT_EQ(g.adapter.readBytes(kIdn.size() + 1), kIdn + "\n");
    EXPECT_EQ(g.adapter.readQuiet(200), "");
    EXPECT_EQ(g.sim.commandLog(), (std::vector<std::string>{"IM:MODE 2", "*IDN?"}));
    EXPECT_EQ(g.sim.commandRecords()[0].link, sim::Link::Gpib);
}

TEST(SimGpib, ReadWithNothingPendingTimesOutAndLaterLinesStillRun) {
    GpibSim g;
    // the command leaves nothing to read; the read waits read_tmo_ms, then the query runs
    ASSERT_TRUE(g.adapter.send("++read_tmo_ms 150\nIM:MODE 1\n++read eoi\nSYST:SER?\n++read eoi\n"));
    const std::string ser = std::string(sim::kDefaultSerial) + "\n";
    EXPECT_EQ(g.adapter.readBytes(ser.size()), ser);
    EXPECT_EQ(g.sim.commandLog(), (std::vector<std::string>{"IM:MODE 1", "SYST:SER?"}));
}

TEST(SimGpib, OnlyTheInstrumentsAddressListens) {
    GpibSim g;
    ASSERT_TRUE(g.adapter.send("++read_tmo_ms 100\n++addr 7\n*IDN?\n++read eoi\n++addr 5\nSYST:VERS?\n++read eoi\n"));
    const std::string vers = std::string(sim::kDefaultVersion) + "\n";
    EXPECT_EQ(g.adapter.readBytes(vers.size()), vers);
    EXPECT_EQ(g.sim.commandLog(), std::vector<std::string>{"SYST:VERS?"});
}

TEST(SimGpib, EscapedBytesAreDataAndNeverAdapterCommands) {
    GpibSim g;
    // an escaped CR is part of the data (the instrument drops it as a line end);
    // a line starting with an escaped '+' goes to the instrument
    ASSERT_TRUE(g.adapter.send("SYST:SER?\x1b\r\n++read eoi\n\x1b+\x1b+ver\n++read_tmo_ms 100\n++read eoi\n++addr\n"));
    const std::string expected = std::string(sim::kDefaultSerial) + "\n" + "5\r\n";
    EXPECT_EQ(g.adapter.readBytes(expected.size()), expected);   // no version text, and no ERR read either
    const auto records = g.sim.commandRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "SYST:SER?");
    EXPECT_EQ(records[1].text, "++ver");
    EXPECT_FALSE(records[1].valid);
}

TEST(SimGpib, AutoReadAndEotCharacter) {
    GpibSim g;
    ASSERT_TRUE(g.adapter.send("++auto 1\n++eot_enable 1\n++eot_char 42\n*IDN?\n"));
    EXPECT_EQ(g.adapter.readBytes(kIdn.size() + 2), kIdn + "\n*");
}

TEST(SimGpib, NewCommandDiscardsAnUnreadReply) {
    GpibSim g;
    ASSERT_TRUE(g.adapter.send("*IDN?\nIM:MODE 1\n++read_tmo_ms 100\n++read eoi\n++addr\n"));
    EXPECT_EQ(g.adapter.readBytes(3), "5\r\n");
}

TEST(SimGpib, DelayedReplyMissesAShortReadAndIsReadLater) {
    GpibSim g;
    sim::Faults f;
    f.delay = 1;
    f.delayMs = 700;
    g.sim.setFaults(f);
    const auto t0 = simtest::Clock::now();
    ASSERT_TRUE(g.adapter.send("++read_tmo_ms 100\n*IDN?\n++read eoi\n++addr\n"));
    EXPECT_EQ(g.adapter.readBytes(3), "5\r\n");   // the first read gave nothing
    ASSERT_TRUE(g.adapter.send("++read_tmo_ms 3000\n++read eoi\n"));
    EXPECT_EQ(g.adapter.readBytes(kIdn.size() + 1), kIdn + "\n");
    EXPECT_GE(simtest::Clock::now() - t0, std::chrono::milliseconds(690));
}

TEST(SimGpib, SplitCloseOverlongAndSilentReplies) {
    {
        GpibSim g;
        sim::Faults f;
        f.split = 1;
        f.splitAt = 4;
        f.splitGapMs = 500;
        g.sim.setFaults(f);
        ASSERT_TRUE(g.adapter.send("*IDN?\n++read eoi\n"));
        EXPECT_EQ(g.adapter.readOnce(), kIdn.substr(0, 4));
        EXPECT_EQ(g.adapter.readBytes(kIdn.size() - 3), kIdn.substr(4) + "\n");
    }
    {
        GpibSim g;
        sim::Faults f;
        f.closeMidReply = 1;
        f.closeAfter = 5;
        g.sim.setFaults(f);
        ASSERT_TRUE(g.adapter.send("*IDN?\n++read eoi\n"));
        EXPECT_EQ(g.adapter.readBytes(100), kIdn.substr(0, 5));
        EXPECT_TRUE(g.adapter.waitClosed());
    }
    {
        GpibSim g;
        sim::Faults f;
        f.overlong = 1;
        f.overlongBytes = 300;
        g.sim.setFaults(f);
        ASSERT_TRUE(g.adapter.send("*IDN?\n++read eoi\n"));
        EXPECT_EQ(g.adapter.readBytes(301), std::string(300, 'X') + "\n");
    }
    {
        GpibSim g;
        sim::Faults f;
        f.silent = true;
        g.sim.setFaults(f);
        ASSERT_TRUE(g.adapter.send("++read_tmo_ms 100\n*IDN?\n++read eoi\n++addr\n"));
        EXPECT_EQ(g.adapter.readBytes(3), "5\r\n");
        EXPECT_EQ(g.sim.commandLog().size(), 1u);
    }
}

}  // namespace
