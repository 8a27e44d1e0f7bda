// The instrument without a transport: vocabulary, kept settings, replies, log.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "sim/sim.h"

namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

TEST(SimInstrument, IdentityQueriesAnswerTheConfiguredTexts) {
    sim::Instrument standard;
    EXPECT_EQ(standard.execute("*IDN?"), std::string(sim::kDefaultIdn));
    EXPECT_EQ(standard.execute("SYST:VERS?"), std::string(sim::kDefaultVersion));
    EXPECT_EQ(standard.execute("SYST:SER?"), std::string(sim::kDefaultSerial));

    sim::Instrument family("MAKER,KZR-400,42,2.0", "VER1.06", "SER:1234-BCDEF9");
    EXPECT_EQ(family.execute("*IDN?"), std::string("MAKER,KZR-400,42,2.0"));
    EXPECT_EQ(family.execute("SYST:VERS?"), std::string("VER1.06"));
    EXPECT_EQ(family.execute("SYST:SER?")->substr(9, 6), "BCDEF9");
    family.setVersion("VER1.12");
    EXPECT_EQ(family.execute("SYST:VERS?"), std::string("VER1.12"));
}

TEST(SimInstrument, QueryIsTheFirstWordEndingInQuestionMark) {
    struct Case {
        const char* line;
        bool query;
    } cases[] = {
        {"*IDN?", true},          {"IM:MEAS:VAL?", true},     {"MIOB? 001A", true},
        {"IM:CAL:DATA? 3 2 1 0", true}, {"IM:MODE 1", false}, {"MIOB 001A FF", false},
        {"IM:CAL:DATA 1 2 3 4 what?", false}, {"", false},     {"  SYST:SER?  ", true},
    };
    for (const Case& c : cases) EXPECT_EQ(sim::Instrument::isQuery(c.line), c.query) << c.line;
}

// Every setting of the vocabulary, formatted as the host formats it, is
// accepted and kept.
TEST(SimInstrument, AcceptsAndKeepsEverySettingOfTheVocabulary) {
    struct Case {
        const char* command;
        const char* header;
        const char* kept;
    } cases[] = {
        {"MIOB 001A FF", "MIOB", "001A FF"},
        {"MIOW 0002 2345", "MIOW", "0002 2345"},
        {"IM:MODE 2", "IM:MODE", "2"},
        {"IM:OUTP:SINE:FREQ 1000.000000", "IM:OUTP:SINE:FREQ", "1000.000000"},
        {"IM:OUTP:SQU:FREQ 50.000000", "IM:OUTP:SQU:FREQ", "50.000000"},
        {"IM:OUTP:VOLT 1.250000", "IM:OUTP:VOLT", "1.250000"},
        {"IM:OUTP:STAT 1", "IM:OUTP:STAT", "1"},
        {"IM:OUTP:LEV 0.010000 1.000000", "IM:OUTP:LEV", "0.010000 1.000000"},
        {"IM:INP:SAMP:RATE 100000.000000", "IM:INP:SAMP:RATE", "100000.000000"},
        {"IM:INP:SAMP:COUN 4096", "IM:INP:SAMP:COUN", "4096"},
        {"IM:INP:SAMP:CYCL 10000", "IM:INP:SAMP:CYCL", "10000"},
        {"IM:INP:SAMP:AUTO 1", "IM:INP:SAMP:AUTO", "1"},
        {"IM:INP:CURR:UNIT 0.500000", "IM:INP:CURR:UNIT", "0.500000"},
        {"IM:INP:DL 1", "IM:INP:DL", "1"},
        {"IM:INP:VOLT:STAT 2", "IM:INP:VOLT:STAT", "2"},
        {"IM:INP:CURR:STAT 0", "IM:INP:CURR:STAT", "0"},
        {"IM:INP:VOLT:GAIN 3", "IM:INP:VOLT:GAIN", "3"},
        {"IM:INP:CURR:GAIN 4", "IM:INP:CURR:GAIN", "4"},
        {"IM:INP:CURR:DL 1", "IM:INP:CURR:DL", "1"},
        {"IM:INP:GAIN:AUTO 0", "IM:INP:GAIN:AUTO", "0"},
        {"IM:INP:AUTO:ZERO 1", "IM:INP:AUTO:ZERO", "1"},
        {"IM:PHASE:STATE 1", "IM:PHASE:STATE", "1"},
        {"IM:AC:VALUE:PEAK 1", "IM:AC:VALUE:PEAK", "1"},
        {"IM:CAL:DATA 3 2 1 0 1.234567", "IM:CAL:DATA", "3 2 1 0 1.234567"},
        {"IM:CAL:SAVE", "IM:CAL:SAVE", ""},
    };
    sim::Instrument in;
    for (const Case& c : cases) {
        EXPECT_EQ(in.execute(c.command, sim::Link::Tcp), std::nullopt) << c.command;
        EXPECT_EQ(in.setting(c.header), std::string(c.kept)) << c.command;
    }
    const auto records = in.commandRecords();
    ASSERT_EQ(records.size(), std::size(cases));
    for (const auto& r : records) {
        EXPECT_TRUE(r.valid) << r.text;
        EXPECT_EQ(r.link, sim::Link::Tcp);
    }
}

// A host that formats a value the wrong way is seen in the log and the
// setting is not taken; the command is still acknowledged by the servers.
TEST(SimInstrument, MisformattedArgumentsAreMarkedAndNotKept) {
    const char* bad[] = {
        "IM:OUTP:SINE:FREQ 1000,000000",   // decimal comma
        "IM:OUTP:SINE:FREQ",               // value missing
        "MIOB 1A FF",                      // address not four digits
        "MIOB 001A 1FF",                   // byte not masked
        "MIOW 0002 12345",
        "IM:INP:DL 2",                     // switches are 0 or 1
        "IM:OUTP:STAT 3",
        "IM:INP:VOLT:STAT -1",
        "IM:OUTP:LEV 0.01",                // two values expected
        "IM:INP:SAMP:COUN 12 13",
        "IM:CAL:DATA 3 2 1 0",             // value missing
        "IM:CAL:SAVE now",
    };
    sim::Instrument in;
    for (const char* line : bad) EXPECT_EQ(in.execute(line), std::nullopt) << line;
    for (const auto& r : in.commandRecords()) EXPECT_FALSE(r.valid) << r.text;
    EXPECT_EQ(in.setting("IM:OUTP:SINE:FREQ"), std::nullopt);
    EXPECT_EQ(in.setting("MIOB"), std::nullopt);
    EXPECT_EQ(in.execute("MIOB? 001A"), std::string("00"));
}

TEST(SimInstrument, UnknownCommandsAreLoggedAndUnknownQueriesAnswerErr) {
    sim::Instrument in;
    EXPECT_EQ(in.execute("FOO:BAR 1"), std::nullopt);
    EXPECT_EQ(in.execute("FOO:BAR?"), std::string("ERR"));
    EXPECT_EQ(in.execute("IM:MEAS:VAL? 3"), std::string("ERR"));   // takes no argument
    EXPECT_EQ(in.execute("MIOB? 1A"), std::string("ERR"));
    const auto records = in.commandRecords();
    ASSERT_EQ(records.size(), 4u);
    for (const auto& r : records) EXPECT_FALSE(r.valid) << r.text;
}

TEST(SimInstrument, FrequencyReadBackIsRoundedToTheDdsStep) {
    sim::Instrument in;
    for (double asked : {0.01, 1.0, 999.9876, 1000.0, 12345.678, 100000.0}) {
        std::string command = "IM:OUTP:SINE:FREQ " + std::to_string(asked);
        in.execute(command);
        const std::string reply = *in.execute("IM:OUTP:SINE:FREQ?");
        // six decimals, a point whatever the locale
        ASSERT_EQ(reply.find(','), std::string::npos);
        ASSERT_EQ(reply.size() - reply.find('.') - 1, 6u) << reply;
        const double got = std::strtod(reply.c_str(), nullptr);
        EXPECT_NEAR(got, asked, sim::kDdsStepHz / 2 + 1e-6) << asked;
        const double steps = got / sim::kDdsStepHz;
        EXPECT_NEAR(steps, std::round(steps), 1e-3) << asked;
    }
    in.execute("IM:OUTP:SQU:FREQ 50.000000");
    const double square = std::strtod(in.execute("IM:OUTP:SQU:FREQ?")->c_str(), nullptr);
    EXPECT_NEAR(square, sim::ddsFrequency(50.0), 1e-6);
    EXPECT_NE(square, 50.0);   // 50 Hz is not a whole number of steps
}

TEST(SimInstrument, ReadBackQueriesAnswerTheKeptValues) {
    sim::Instrument in;
    struct Case {
        const char* setting;
        const char* query;
        const char* reply;
    } cases[] = {
        {"IM:OUTP:LEV 0.020000 2.000000", "IM:OUTP:AMPL?", "0.020000"},
        {"IM:INP:CURR:UNIT 0.500000", "IM:INP:CURR:UNIT?", "0.500000"},
        {"IM:MODE 2", "IM:MODE?", "2"},
        {"IM:INP:SAMP:CYCL 100", "IM:INP:SAMP:CYCL?", "100"},
        {"IM:INP:SAMP:RATE 100000.000000", "IM:INP:SAMP:RATE?", "100000.000000"},
        {"IM:INP:DL 1", "IM:INP:DL?", "1"},
        {"IM:CAL:DATA 3 2 1 0 1.234567", "IM:CAL:DATA? 3 2 1 0", "1.234567"},
    };
    for (const Case& c : cases) {
        in.execute(c.setting);
        EXPECT_EQ(in.execute(c.query), std::string(c.reply)) << c.query;
    }
    // a rate that no whole divisor of the sample clock gives is rounded to one
    in.execute("IM:INP:SAMP:RATE 30000.000000");
    EXPECT_EQ(in.execute("IM:INP:SAMP:RATE?"), std::string("29994.001200"));   // 50 MHz / 1667
    EXPECT_EQ(in.execute("IM:CAL:FREQ:COUNT?"), std::string("8"));
    EXPECT_EQ(in.execute("IM:CAL:GAIN:COUNT?"), std::string("4"));
    // an untouched value is the module's own: a gain correction close to 1
    const std::string gain = *in.execute("IM:CAL:DATA? 0 0 0 0");
    EXPECT_NEAR(std::strtod(gain.c_str(), nullptr), 1.0, 0.01) << gain;
}

TEST(SimInstrument, RegistersHoldBytesAndLittleEndianWords) {
    sim::Instrument in;
    in.execute("MIOW 0002 2345");
    EXPECT_EQ(in.execute("MIOB? 0002"), std::string("45"));
    EXPECT_EQ(in.execute("MIOB? 0003"), std::string("23"));
    EXPECT_EQ(in.execute("MIOW? 0002"), std::string("2345"));
    // a double word goes as two words, low word first
    in.execute("MIOW 0100 5678");
    in.execute("MIOW 0102 1234");
    EXPECT_EQ(in.execute("MIOW? 0100"), std::string("5678"));
    EXPECT_EQ(in.execute("MIOW? 0102"), std::string("1234"));
    EXPECT_EQ(in.execute("MIOW? 0101"), std::string("3456"));   // bytes, not word cells
    in.execute("MIOB 001A FF");
    EXPECT_EQ(in.registerByte(0x1A), 0xFF);
    in.setRegisterByte(0xFFFF, 0xAB);
    EXPECT_EQ(in.execute("MIOB? FFFF"), std::string("AB"));
}

TEST(SimInstrument, ReadingsArePlainResistorUntilATestSetsThem) {
    sim::Instrument in;
    EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("0"));
    in.execute("IM:OUTP:LEV 0.010000 1.000000");
    in.setResistance(50.0);
    auto w = words(*in.execute("IM:MEAS:VAL?"));
    ASSERT_EQ(w.size(), 6u);
    // the AC level drives 0.01 A (current unit 1 A/V) through 50 ohms
    const double expected[] = {0.5, 0.0, 0.01, 0.0, 50.0, 0.0};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(std::strtod(w[i].c_str(), nullptr), expected[i], 1e-9) << i;

    in.setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
    EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("1"));
    w = words(*in.execute("IM:MEAS:VAL?"));
    ASSERT_EQ(w.size(), 6u);
    const double set[] = {1.0, 0.0, 0.5, -30.0, 2.0, 30.0};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(std::strtod(w[i].c_str(), nullptr), set[i], 1e-9) << i;
        EXPECT_LE(w[i].size(), 19u);   // the host's word field
    }
    in.clearReadings();
    EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("0"));
}

TEST(SimInstrument, LogKeepsOrderLinkAndObserverSeesEachEntry) {
    sim::Instrument in;
    std::vector<std::string> seen;
    in.setLogObserver([&seen](const sim::LogEntry& e) { seen.push_back(std::string(sim::linkName(e.link)) + " " + e.text); });
    in.execute("*IDN?", sim::Link::Gpib);
    in.execute("IM:MODE 1", sim::Link::Udp, 77);
    in.record({sim::Link::Udp, "", true, 78, 5});
    EXPECT_EQ(in.commandLog(), (std::vector<std::string>{"*IDN?", "IM:MODE 1"}));   // CLOSE left out
    const auto records = in.commandRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].udpId, 77);
    EXPECT_EQ(records[1].udpCode, 1);
    EXPECT_EQ(records[2].udpCode, 5);
    EXPECT_EQ(seen, (std::vector<std::string>{"gpib *IDN?", "udp IM:MODE 1", "udp "}));
    in.clearLog();
    EXPECT_TRUE(in.commandLog().empty());
}

// Replies keep a decimal point under a locale whose separator is a comma.
TEST(SimInstrument, NumbersIgnoreTheLocale) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    const char* chosen = nullptr;
    for (const char* n : names)
        if (std::setlocale(LC_NUMERIC, n)) {
            chosen = n;
            break;
        }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma installed";
    sim::Instrument in;
    in.execute("IM:OUTP:SINE:FREQ 1000.000000");
    const std::string reply = *in.execute("IM:OUTP:SINE:FREQ?");
    in.execute("IM:OUTP:LEV 0.500000 1.000000");
    const std::string amplitude = *in.execute("IM:OUTP:AMPL?");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(reply.find(','), std::string::npos) << chosen;
    EXPECT_EQ(amplitude, "0.500000") << chosen;
}

TEST(SimFaults, FlagNamesSetTheirFieldsAndRejectBadValues) {
    sim::Faults f;
    std::string error;
    EXPECT_TRUE(sim::parseFault(f, "drop-ok=3", &error));
    EXPECT_TRUE(sim::parseFault(f, "delay-ms=2500", &error));
    EXPECT_TRUE(sim::parseFault(f, "p-split=0.25", &error));
    EXPECT_TRUE(sim::parseFault(f, "silent", &error));
    EXPECT_TRUE(sim::parseFault(f, "udp-foreign-only=1", &error));
    EXPECT_EQ(f.dropOk, 3);
    EXPECT_EQ(f.delayMs, 2500);
    EXPECT_DOUBLE_EQ(f.pSplit, 0.25);
    EXPECT_TRUE(f.silent);
    EXPECT_TRUE(f.udpForeignOnly);

    const char* bad[] = {"nonsense=1", "drop-ok=-1", "drop-ok=x", "p-split=1.5", "silent=2", "udp-short-bytes=6"};
    for (const char* b : bad) {
        error.clear();
        EXPECT_FALSE(sim::parseFault(f, b, &error)) << b;
        EXPECT_FALSE(error.empty()) << b;
    }
    EXPECT_EQ(f.dropOk, 3);   // a refused value changes nothing
    // every listed name can be set
    for (const auto& [name, help] : sim::faultHelp()) {
        sim::Faults g;
        EXPECT_TRUE(sim::setFault(g, name, name.starts_with("p-") ? "0.5" : "1", &error)) << name << ": " << error;
        EXPECT_FALSE(help.empty()) << name;
    }
}

TEST(SimAddress, OnlyLoopbackIsAccepted) {
    for (const char* ok : {"127.0.0.1", "127.0.0.2", "127.1.2.3", "127.255.255.254"})
        EXPECT_TRUE(sim::isLoopbackAddress(ok)) << ok;
    for (const char* no : {"0.0.0.0", "10.0.0.1", "192.168.1.1", "255.255.255.255", "128.0.0.1", "localhost", "127.0.0",
                           "", "::1"})
        EXPECT_FALSE(sim::isLoopbackAddress(no)) << no;
}

}  // namespace
