// The UDP packet link over real loopback sockets, with each fault observed.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

using simtest::Datagram;
using simtest::Udp;

// Packets are built and read here byte by byte, independently of the simulator's code.
std::string packetBytes(uint8_t code, uint16_t id, const std::string& text) {
    std::string p;
    p.push_back(1);
    p.push_back(static_cast<char>(code));
    p.push_back(static_cast<char>(id >> 8));
    p.push_back(static_cast<char>(id & 0xFF));
    p.push_back(static_cast<char>(text.size() >> 8));
    p.push_back(static_cast<char>(text.size() & 0xFF));
    return p + text;
}

struct Seen {
    int code = -1;
    int id = -1;
    std::string text;
    std::string from;
    std::size_t size = 0;
};

Seen decode(const Datagram& d) {
    Seen s;
    s.from = d.from;
    s.size = d.bytes.size();
    if (d.bytes.size() < 6) return s;
    const auto* b = reinterpret_cast<const unsigned char*>(d.bytes.data());
    EXPECT_EQ(b[0], 1) << "marker";
    s.code = b[1];
    s.id = b[2] << 8 | b[3];
    const std::size_t length = static_cast<std::size_t>(b[4] << 8 | b[5]);
    EXPECT_EQ(length, d.bytes.size() - 6) << "length field";
    s.text = d.bytes.substr(6);
    return s;
}

constexpr int kConfirm = 2, kReply = 3;

struct UdpSim {
    sim::Simulator sim;
    Udp client;
    explicit UdpSim(uint32_t seed = 1) : sim(options(seed)) {
        if (!sim.start()) ADD_FAILURE() << sim.error();
    }
    static sim::Options options(uint32_t seed) {
        sim::Options o;
        o.udpPort = 0;
        o.tcp = o.pty = o.gpib = false;
        o.seed = seed;
        return o;
    }
    void request(uint16_t id, const std::string& text) {
        ASSERT_TRUE(client.sendTo("127.0.0.1", sim.udpPort(), packetBytes(1, id, text)));
    }
    // Every datagram that arrives until 500 ms pass without one.
    std::vector<Seen> collect(int firstWaitMs = simtest::kWaitMs) {
        std::vector<Seen> out;
        int wait = firstWaitMs;
        while (auto d = client.receive(wait)) {
            out.push_back(decode(*d));
            wait = 500;
        }
        return out;
    }
};

TEST(SimUdp, CommandIsConfirmedAndQueryAlsoReplied) {
    UdpSim u;
    u.request(0x1234, "IM:MODE 1");
    auto got = u.collect();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, kConfirm);
    EXPECT_EQ(got[0].id, 0x1234);
    EXPECT_EQ(got[0].from, "127.0.0.1");

    u.request(0xFFFF, "*IDN?");
    got = u.collect();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, kConfirm);
    EXPECT_EQ(got[0].id, 0xFFFF);
    EXPECT_EQ(got[1].code, kReply);
    EXPECT_EQ(got[1].id, 0xFFFF);
    EXPECT_EQ(got[1].text, sim::kDefaultIdn);

    const auto records = u.sim.commandRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].link, sim::Link::Udp);
    EXPECT_EQ(records[0].udpId, 0x1234);
    EXPECT_EQ(records[1].text, "*IDN?");
}

TEST(SimUdp, CloseIsLoggedAndUnansweredAndRuntsAndStrangersAreIgnored) {
    UdpSim u;
    ASSERT_TRUE(u.client.sendTo("127.0.0.1", u.sim.udpPort(), packetBytes(5, 9, "")));
    ASSERT_TRUE(u.client.sendTo("127.0.0.1", u.sim.udpPort(), std::string("\x01\x01\x00\x01\x00", 5)));
    ASSERT_TRUE(u.client.sendTo("127.0.0.1", u.sim.udpPort(), std::string("\x02\x01\x00\x01\x00\x00", 6)));
    ASSERT_TRUE(u.client.sendTo("127.0.0.1", u.sim.udpPort(), packetBytes(3, 10, "a reply?")));
    // a length field beyond the datagram: only the bytes present count
    std::string cut = packetBytes(1, 11, "SYST:SER?");
    cut[5] = 40;
    ASSERT_TRUE(u.client.sendTo("127.0.0.1", u.sim.udpPort(), cut));
    const auto got = u.collect();
    ASSERT_EQ(got.size(), 2u);   // only the request with id 11
    EXPECT_EQ(got[0].id, 11);
    EXPECT_EQ(got[1].text, sim::kDefaultSerial);
    const auto records = u.sim.commandRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].udpCode, 5);
    EXPECT_EQ(records[0].udpId, 9);
    EXPECT_EQ(records[1].text, "SYST:SER?");
    EXPECT_EQ(u.sim.commandLog(), std::vector<std::string>{"SYST:SER?"});
}

// One-shot UDP faults: the exact sequence of datagrams for one query, and a
// normal answer to the next.
TEST(SimUdp, OneShotFaultsShapeTheNextAnswer) {
    struct Case {
        const char* name;
        std::function<void(sim::Faults&)> set;
        std::vector<std::pair<int, int>> codeAndId;   // -1 code: a runt
        std::vector<std::string> from;
    } cases[] = {
        {"lose", [](sim::Faults& f) { f.udpLose = 1; }, {{kReply, 100}}, {}},
        {"lose both", [](sim::Faults& f) { f.udpLose = 2; }, {}, {}},
        {"duplicate", [](sim::Faults& f) { f.udpDuplicate = 1; },
         {{kConfirm, 100}, {kConfirm, 100}, {kReply, 100}, {kReply, 100}}, {}},
        {"reorder", [](sim::Faults& f) { f.udpReorder = 1; }, {{kReply, 100}, {kConfirm, 100}}, {}},
        {"wrong id", [](sim::Faults& f) { f.udpWrongId = 1; }, {{kConfirm, 101}, {kReply, 101}}, {}},
        {"short", [](sim::Faults& f) { f.udpShort = 1; }, {{-1, -1}, {kConfirm, 100}, {kReply, 100}}, {}},
        {"stale", [](sim::Faults& f) { f.udpStaleId = 1; }, {{kConfirm, 100}, {kReply, 99}, {kReply, 100}}, {}},
        {"foreign", [](sim::Faults& f) { f.udpForeign = 1; },
         {{kConfirm, 100}, {kReply, 100}, {kConfirm, 100}, {kReply, 100}},
         {"127.0.0.2", "127.0.0.2", "127.0.0.1", "127.0.0.1"}},
        {"foreign only",
         [](sim::Faults& f) {
             f.udpForeign = 1;
             f.udpForeignOnly = true;
         },
         {{kConfirm, 100}, {kReply, 100}},
         {"127.0.0.2", "127.0.0.2"}},
    };
    for (const Case& c : cases) {
        UdpSim u;
        sim::Faults f;
        c.set(f);
        u.sim.setFaults(f);
        u.request(100, "*IDN?");
        const auto got = u.collect(c.codeAndId.empty() ? 400 : simtest::kWaitMs);
        ASSERT_EQ(got.size(), c.codeAndId.size()) << c.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].code, c.codeAndId[i].first) << c.name << " #" << i;
            EXPECT_EQ(got[i].id, c.codeAndId[i].second) << c.name << " #" << i;
            const std::string from = c.from.empty() ? "127.0.0.1" : c.from[i];
            EXPECT_EQ(got[i].from, from) << c.name << " #" << i;
        }
        u.request(101, "SYST:SER?");
        const auto next = u.collect();
        ASSERT_EQ(next.size(), 2u) << c.name;
        EXPECT_EQ(next[0].id, 101) << c.name;
        EXPECT_EQ(next[1].text, sim::kDefaultSerial) << c.name;
    }
}

TEST(SimUdp, ShortDatagramHasTheConfiguredSize) {
    UdpSim u;
    sim::Faults f;
    f.udpShort = 1;
    f.udpShortBytes = 3;
    u.sim.setFaults(f);
    u.request(7, "IM:MODE 1");
    const auto got = u.collect();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size, 3u);
    EXPECT_EQ(got[1].code, kConfirm);
}

// A stale datagram repeats the previous answer's last datagram with its old
// id: a query's REPLY goes between the CONFIRM and the REPLY, a command's
// before the CONFIRM.
TEST(SimUdp, StaleDatagramRepeatsThePreviousAnswer) {
    UdpSim u;
    u.request(10, "SYST:SER?");
    ASSERT_EQ(u.collect().size(), 2u);
    sim::Faults f;
    f.udpStaleId = 2;
    u.sim.setFaults(f);
    u.request(11, "IM:MODE 1");
    auto got = u.collect();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, kReply);
    EXPECT_EQ(got[0].id, 10);
    EXPECT_EQ(got[0].text, sim::kDefaultSerial);
    EXPECT_EQ(got[1].code, kConfirm);
    EXPECT_EQ(got[1].id, 11);

    u.request(12, "*IDN?");
    got = u.collect();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].code, kConfirm);
    EXPECT_EQ(got[0].id, 12);
    EXPECT_EQ(got[1].code, kConfirm);   // the command's CONFIRM, again
    EXPECT_EQ(got[1].id, 11);
    EXPECT_EQ(got[2].code, kReply);
    EXPECT_EQ(got[2].id, 12);
}

TEST(SimUdp, LostRequestIsNeitherRunNorAnswered) {
    UdpSim u;
    sim::Faults f;
    f.udpLoseRequest = 1;
    u.sim.setFaults(f);
    u.request(1, "IM:MODE 2");
    EXPECT_TRUE(u.collect(400).empty());
    EXPECT_TRUE(u.sim.commandLog().empty());
    EXPECT_EQ(u.sim.instrument().setting("IM:MODE"), std::nullopt);
    u.request(2, "IM:MODE 2");   // the repeat gets through
    EXPECT_EQ(u.collect().size(), 1u);
    EXPECT_EQ(u.sim.instrument().setting("IM:MODE"), std::string("2"));
}

TEST(SimUdp, DelayHoldsBackTheReplyNotTheConfirm) {
    UdpSim u;
    sim::Faults f;
    f.delay = 1;
    f.delayMs = 600;
    u.sim.setFaults(f);
    const auto t0 = simtest::Clock::now();
    u.request(5, "*IDN?");
    auto confirm = u.client.receive();
    ASSERT_TRUE(confirm);
    EXPECT_EQ(decode(*confirm).code, kConfirm);
    auto reply = u.client.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(decode(*reply).code, kReply);
    EXPECT_GE(simtest::Clock::now() - t0, std::chrono::milliseconds(590));
}

TEST(SimUdp, OverlongReplyAndSilence) {
    UdpSim u;
    sim::Faults f;
    f.overlong = 1;
    f.overlongBytes = 400;
    u.sim.setFaults(f);
    u.request(3, "*IDN?");
    auto got = u.collect();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].text, std::string(400, 'X'));

    f = {};
    f.silent = true;
    u.sim.setFaults(f);
    u.request(4, "*IDN?");
    ASSERT_TRUE(simtest::waitFor([&] { return u.sim.commandLog().size() == 2; }));
    EXPECT_TRUE(u.collect(400).empty());
}

// Random UDP faults with one seed give the same datagrams twice.
std::string udpTrace(uint32_t seed) {
    UdpSim u(seed);
    sim::Faults f;
    f.pUdpLose = f.pUdpDuplicate = f.pUdpReorder = f.pUdpWrongId = f.pUdpForeign = 0.25;
    u.sim.setFaults(f);
    // all requests at once: loopback keeps the order, so the trace does not
    // depend on how the threads are scheduled
    for (uint16_t id = 1; id <= 24; ++id) u.request(id, id % 2 ? "*IDN?" : "IM:MODE 1");
    std::string trace;
    for (const Seen& s : u.collect())
        trace += std::to_string(s.code) + "/" + std::to_string(s.id) + "@" + s.from + " ";
    return trace;
}

TEST(SimUdp, ProbabilisticFaultsRepeatForTheSameSeed) {
    const std::string a = udpTrace(11);
    EXPECT_EQ(a, udpTrace(11));
    EXPECT_NE(a, udpTrace(12));
    EXPECT_NE(a.find("127.0.0.2"), std::string::npos) << a;
}

}  // namespace
