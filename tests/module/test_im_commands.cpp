// The IM command set over a real TCP link to a scripted instrument on a
// loopback address: the command text sent, the reply given, the result seen.
#include "module/im.h"

#include "fake_instrument.h"
#include "link/ifp.h"
#include "link/io.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Loopback addresses 127.93.1.x belong to these tests.
constexpr char kAddressPrefix[] = "127.93.1.";

using Answer = FakeInstrument::Answer;

struct Exchange {
    std::string command;
    Answer answer = Answer::Ack;
    std::string reply = {};
    int times = 1;
};

Exchange ack(const std::string& command) { return {command}; }
Exchange reply(const std::string& command, const std::string& text) { return {command, Answer::Reply, text}; }
// Refused on every try of ifp_send_query.
Exchange refused(const std::string& command) { return {command, Answer::Refuse, {}, IFP_QUERY_ATTEMPTS}; }

std::string num(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}
std::string num(int v) { return std::to_string(v); }
std::string text(const char* p) { return p ? std::string("\"") + p + "\"" : "null"; }

struct Case {
    const char* name;
    std::vector<Exchange> script;
    std::function<std::string()> run;
    std::string result;
};

class ImCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        try {
            instrument_ = std::make_unique<FakeInstrument>(kAddressPrefix, IO_PORT);
        } catch (const std::exception& e) {
            setupError_ = e.what();
            return;
        }
        ui::resetForTests();
        ifcPanel_register_resource();
        ifp_register_callbacks();
        ifp_active(1);
        ifp_select_link(IO_TCP, instrument_->address().c_str());
        ui::headless::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
        ui::headless::deliver();
    }
    static void TearDownTestSuite()
    {
        if (!instrument_)
            return;
        ifp_close();
        ifp_quit();
        instrument_.reset();
        ui::resetForTests();
    }
    void SetUp() override
    {
        ASSERT_NE(instrument_, nullptr) << setupError_;
        ASSERT_EQ(ifp_get_ifready(), 1) << "the link to the scripted instrument did not open";
        instrument_->clear();
    }

    // Runs each case against its script and checks the lines sent and the result.
    static void runCases(const std::vector<Case>& cases)
    {
        for (const auto& c : cases) {
            instrument_->clear();
            std::vector<std::string> sent;
            for (const auto& e : c.script) {
                for (int i = 0; i < e.times; ++i) {
                    instrument_->expect(e.command, e.answer, e.reply);
                    sent.push_back(e.command);
                }
            }
            EXPECT_EQ(c.run(), c.result) << c.name;
            EXPECT_EQ(instrument_->received(), sent) << c.name;
            EXPECT_TRUE(instrument_->unexpected().empty()) << c.name;
            EXPECT_EQ(instrument_->pending(), 0u) << c.name;
        }
    }

    static std::unique_ptr<FakeInstrument> instrument_;
    static std::string setupError_;
};

std::unique_ptr<FakeInstrument> ImCommands::instrument_;
std::string ImCommands::setupError_;

TEST_F(ImCommands, Settings)
{
    runCases({
        {"level", {ack("IM:OUTP:VOLT 1.500000")}, [] { im_set_dac_direct_level(1.5f); return std::string(); }, ""},
        {"negative level", {ack("IM:OUTP:VOLT -0.100000")}, [] { im_set_dac_direct_level(-0.1f); return std::string(); }, ""},
        {"level refused is silent", {refused("IM:OUTP:VOLT 0.000000")}, [] { im_set_dac_direct_level(0.0f); return std::string(); }, ""},
        {"source 0", {ack("IM:OUTP:STAT 0")}, [] { im_set_dac_out_source(0); return std::string(); }, ""},
        {"source 2", {ack("IM:OUTP:STAT 1")}, [] { im_set_dac_out_source(2); return std::string(); }, ""},
        {"source 3", {ack("IM:OUTP:STAT 2")}, [] { im_set_dac_out_source(3); return std::string(); }, ""},
        {"source 1 is no source", {}, [] { im_set_dac_out_source(1); return std::string(); }, ""},
        {"source 4 is no source", {}, [] { im_set_dac_out_source(4); return std::string(); }, ""},
        {"sample count", {ack("IM:INP:SAMP:COUN 1024")}, [] { im_set_sample_times(1024); return std::string(); }, ""},
        {"sample count max", {ack("IM:INP:SAMP:COUN 2147483647")}, [] { im_set_sample_times(INT32_MAX); return std::string(); }, ""},
        {"sample count negative", {ack("IM:INP:SAMP:COUN -5")}, [] { im_set_sample_times(-5); return std::string(); }, ""},
        {"sample cycle", {ack("IM:INP:SAMP:CYCL 10")}, [] { im_set_sample_cycle(10); return std::string(); }, ""},
        {"current unit", {ack("IM:INP:CURR:UNIT 0.001000")}, [] { im_set_curr_unit(0.001f); return std::string(); }, ""},
        {"current unit large", {ack("IM:INP:CURR:UNIT 1000000.000000")}, [] { im_set_curr_unit(1e6f); return std::string(); }, ""},
        {"dl on", {ack("IM:INP:DL 1")}, [] { im_set_adc_inp_dl(1); return std::string(); }, ""},
        {"dl 2 is off", {ack("IM:INP:DL 0")}, [] { im_set_adc_inp_dl(2); return std::string(); }, ""},
        {"dl off", {ack("IM:INP:DL 0")}, [] { im_set_adc_inp_dl(0); return std::string(); }, ""},
        {"volt mode 1", {ack("IM:INP:VOLT:STAT 0")}, [] { im_set_voltadc_inp_mode(1); return std::string(); }, ""},
        {"volt mode 2", {ack("IM:INP:VOLT:STAT 1")}, [] { im_set_voltadc_inp_mode(2); return std::string(); }, ""},
        {"volt mode 3", {ack("IM:INP:VOLT:STAT 2")}, [] { im_set_voltadc_inp_mode(3); return std::string(); }, ""},
        {"volt mode 0 not sent", {}, [] { im_set_voltadc_inp_mode(0); return std::string(); }, ""},
        {"volt mode 4 not sent", {}, [] { im_set_voltadc_inp_mode(4); return std::string(); }, ""},
        {"curr mode 1", {ack("IM:INP:CURR:STAT 0")}, [] { im_set_curradc_inp_mode(1); return std::string(); }, ""},
        {"curr mode 3", {ack("IM:INP:CURR:STAT 2")}, [] { im_set_curradc_inp_mode(3); return std::string(); }, ""},
        {"curr mode -1 not sent", {}, [] { im_set_curradc_inp_mode(-1); return std::string(); }, ""},
        {"volt gain", {ack("IM:INP:VOLT:GAIN 5")}, [] { im_set_voltadc_inp_gain(5); return std::string(); }, ""},
        {"curr gain", {ack("IM:INP:CURR:GAIN -1")}, [] { im_set_curradc_inp_gain(-1); return std::string(); }, ""},
        {"loopback on", {ack("IM:INP:CURR:DL 1")}, [] { im_set_curradc_inp_loopback(1); return std::string(); }, ""},
        {"loopback 2 is off", {ack("IM:INP:CURR:DL 0")}, [] { im_set_curradc_inp_loopback(2); return std::string(); }, ""},
        {"cmrr has no command", {}, [] { im_set_curr_inp_cmrr(1); im_set_volt_inp_cmrr(1); return std::string(); }, ""},
        {"agc on", {ack("IM:INP:GAIN:AUTO 1")}, [] { im_set_inp_agc(1); return std::string(); }, ""},
        {"agc 2 is off", {ack("IM:INP:GAIN:AUTO 0")}, [] { im_set_inp_agc(2); return std::string(); }, ""},
        {"azc", {ack("IM:INP:AUTO:ZERO 1")}, [] { im_set_inp_azc(1); return std::string(); }, ""},
        {"azc -1 is off", {ack("IM:INP:AUTO:ZERO 0")}, [] { im_set_inp_azc(-1); return std::string(); }, ""},
        {"phase", {ack("IM:PHASE:STATE 1")}, [] { im_set_phase_mode(1); return std::string(); }, ""},
        {"phase off", {ack("IM:PHASE:STATE 0")}, [] { im_set_phase_mode(0); return std::string(); }, ""},
        {"peak", {ack("IM:AC:VALUE:PEAK 1")}, [] { im_set_ac_peak_mode(1); return std::string(); }, ""},
        {"peak 3 is off", {ack("IM:AC:VALUE:PEAK 0")}, [] { im_set_ac_peak_mode(3); return std::string(); }, ""},
    });
}

TEST_F(ImCommands, SetAndReadBack)
{
    runCases({
        {"sine 1000 Hz",
         {ack("IM:OUTP:SINE:FREQ 1000.000000"), reply("IM:OUTP:SINE:FREQ?", "999.9876")},
         [] { return num(im_set_dds_sine_freq(1000.0)); }, num(999.9876f)},
        {"sine, no read-back",
         {ack("IM:OUTP:SINE:FREQ 1000.000000"), refused("IM:OUTP:SINE:FREQ?")},
         [] { return num(im_set_dds_sine_freq(1000.0)); }, num(0.0)},
        {"sine, setting refused but read back",
         {refused("IM:OUTP:SINE:FREQ 0.100000"), reply("IM:OUTP:SINE:FREQ?", "0.1")},
         [] { return num(im_set_dds_sine_freq(0.1)); }, num(0.1f)},
        {"sine, reply not a number",
         {ack("IM:OUTP:SINE:FREQ 5.000000"), reply("IM:OUTP:SINE:FREQ?", "ERR:BUSY")},
         [] { return num(im_set_dds_sine_freq(5.0)); }, num(0.0)},
        {"sine, rounded to six places",
         {ack("IM:OUTP:SINE:FREQ 0.000001"), reply("IM:OUTP:SINE:FREQ?", " 1e-6 Hz")},
         [] { return num(im_set_dds_sine_freq(0.0000012)); }, num(1e-6f)},
        {"square",
         {ack("IM:OUTP:SQU:FREQ 50.500000"), reply("IM:OUTP:SQU:FREQ?", "50.5")},
         [] { return num(im_set_dds_square_freq(50.5)); }, num(50.5f)},
        {"sample rate",
         {ack("IM:INP:SAMP:RATE 100000.000000"), reply("IM:INP:SAMP:RATE?", "1e5")},
         [] { return num(im_set_sample_rate(1e5)); }, num(1e5f)},
        {"sample rate, read-back beyond a float",
         {ack("IM:INP:SAMP:RATE 1.000000"), reply("IM:INP:SAMP:RATE?", "1e60")},
         [] { return num(im_set_sample_rate(1.0)); }, num(0.0)},
        {"current unit",
         {reply("IM:INP:CURR:UNIT?", "0.001")}, [] { return num(im_get_curr_unit()); }, num(0.001f)},
        {"current unit, failed", {refused("IM:INP:CURR:UNIT?")}, [] { return num(im_get_curr_unit()); }, num(0.0)},
    });
}

TEST_F(ImCommands, RegisterAccess)
{
    static uint8_t b;
    static uint16_t w;
    runCases({
        {"outpb", {ack("MIOB 001A FF")}, [] { return num(im_outpb(0x1A, 0x1FF)); }, "0"},
        {"outpb refused", {refused("MIOB 0000 00")}, [] { return num(im_outpb(0, 0x100)); }, "-1"},
        {"outpb negative address", {}, [] { return num(im_outpb(-1, 1)); }, "-1"},
        {"outpb address beyond 16 bits", {}, [] { return num(im_outpb(0x10000, 1)); }, "-1"},
        {"outpw", {ack("MIOW 0002 2345")}, [] { return num(im_outpw(2, 0x12345)); }, "0"},
        {"outpw top address", {ack("MIOW FFFF FFFF")}, [] { return num(im_outpw(0xFFFF, -1)); }, "0"},
        {"outpdw", {ack("MIOW 0100 5678"), ack("MIOW 0102 1234")},
         [] { return num(im_outpdw(0x100, 0x12345678u)); }, "0"},
        {"outpdw first refused: second not sent", {refused("MIOW 0100 5678")},
         [] { return num(im_outpdw(0x100, 0x12345678u)); }, "-1"},
        {"outpdw second refused", {ack("MIOW 0100 5678"), refused("MIOW 0102 1234")},
         [] { return num(im_outpdw(0x100, 0x12345678u)); }, "-1"},
        {"outpdw last fitting address", {ack("MIOW FFFD FFFF"), ack("MIOW FFFF 0000")},
         [] { return num(im_outpdw(0xFFFD, 0xFFFFu)); }, "0"},
        {"outpdw would pass the top", {}, [] { return num(im_outpdw(0xFFFE, 1)); }, "-1"},
        {"inpb keeps the low byte", {reply("MIOB? 001A", "1AB")},
         [] { b = 0; int r = im_inpb(0x1A, &b); return num(r) + " " + num(b); }, "0 171"},
        {"inpb prefixed", {reply("MIOB? 0001", "0x7f")},
         [] { b = 0; int r = im_inpb(1, &b); return num(r) + " " + num(b); }, "0 127"},
        {"inpb not hexadecimal", {reply("MIOB? 0001", "xyz")},
         [] { b = 9; int r = im_inpb(1, &b); return num(r) + " " + num(b); }, "-1 9"},
        {"inpb failed", {refused("MIOB? 0001")},
         [] { b = 9; int r = im_inpb(1, &b); return num(r) + " " + num(b); }, "-1 9"},
        {"inpb bad address", {}, [] { b = 9; int r = im_inpb(0x12345, &b); return num(r) + " " + num(b); }, "-1 9"},
        {"inpw keeps the low word", {reply("MIOW? 0020", "12345")},
         [] { w = 0; int r = im_inpw(0x20, &w); return num(r) + " " + num(w); }, "0 9029"},
        {"inpw negative reply", {reply("MIOW? 0020", "-1")},
         [] { w = 0; int r = im_inpw(0x20, &w); return num(r) + " " + num(w); }, "0 65535"},
        {"inpw empty of digits", {reply("MIOW? 0020", "  ")},
         [] { w = 7; int r = im_inpw(0x20, &w); return num(r) + " " + num(w); }, "-1 7"},
    });
}

TEST_F(ImCommands, DataReady)
{
    auto ready = [] { return num(im_get_data_ready()); };
    runCases({
        {"0", {reply("IM:MEAS:READY?", "0")}, ready, "0"},
        {"1", {reply("IM:MEAS:READY?", "1")}, ready, "1"},
        {"+3", {reply("IM:MEAS:READY?", "+3")}, ready, "1"},
        {"-1", {reply("IM:MEAS:READY?", "-1")}, ready, "1"},
        {"trailing blanks", {reply("IM:MEAS:READY?", "5   ")}, ready, "1"},
        {"1.0", {reply("IM:MEAS:READY?", "1.0")}, ready, "0"},
        {"a word", {reply("IM:MEAS:READY?", "READY")}, ready, "0"},
        {"blanks only", {reply("IM:MEAS:READY?", "   ")}, ready, "0"},
        {"leading blank", {reply("IM:MEAS:READY?", " 1")}, ready, "0"},
        {"too big for an int but not zero", {reply("IM:MEAS:READY?", "4294967296")}, ready, "1"},
        {"many zeros", {reply("IM:MEAS:READY?", "0000000000000")}, ready, "0"},
        {"failed", {refused("IM:MEAS:READY?")}, ready, "0"},
    });
}

TEST_F(ImCommands, ModeAccess)
{
    static int mode;
    auto write = [](int m) { return [m] { mode = m; return num(im_access_im_mode(&mode, 1)); }; };
    auto read = [](int direction) {
        return [direction] { mode = 77; int r = im_access_im_mode(&mode, direction); return num(r) + " " + num(mode); };
    };
    runCases({
        {"write", {ack("IM:MODE 3")}, write(3), "1"},
        {"write negative", {ack("IM:MODE -2")}, write(-2), "1"},
        {"write refused", {refused("IM:MODE 1")}, write(1), "0"},
        {"read 2", {reply("IM:MODE?", "2")}, read(0), "1 2"},
        {"read, any other direction", {reply("IM:MODE?", "1 ")}, read(2), "1 1"},
        {"read 2A", {reply("IM:MODE?", "2A")}, read(0), "0 77"},
        {"read blank first", {reply("IM:MODE?", " 2")}, read(0), "0 77"},
        {"read sign only", {reply("IM:MODE?", "-")}, read(0), "0 77"},
        {"read too big", {reply("IM:MODE?", "99999999999")}, read(0), "0 77"},
        {"read failed", {refused("IM:MODE?")}, read(0), "0 77"},
    });
    EXPECT_EQ(im_access_im_mode(nullptr, 0), 0);
}

TEST_F(ImCommands, Version)
{
    auto version = [] { return text(im_get_module_version()); };
    runCases({
        {"V1.23", {reply("SYST:VERS?", "V1.23")}, version, "\"23\""},
        {"longest line", {reply("SYST:VERS?", "V1.234567890123456")}, version, "\"234567890123456\""},
        {"three characters", {reply("SYST:VERS?", "V1.")}, version, "\"\""},
        {"shorter than the prefix", {reply("SYST:VERS?", "V1")}, version, "\"\""},
        {"failed", {refused("SYST:VERS?")}, version, "null"},
        // 19 characters do not fit the 20-byte reply: every try fails.
        {"too long", {{"SYST:VERS?", Answer::Reply, "V1.2345678901234567", IFP_QUERY_ATTEMPTS}}, version, "null"},
    });
}

TEST_F(ImCommands, SerialNumberKeepsTheLastOneRead)
{
    // One sequence: the serial number lives in module storage across calls.
    auto serno = [] { return text(im_get_device_serno()); };
    runCases({
        {"failed before any", {refused("SYST:SER?")}, serno, "\"\""},
        {"BCDEF9", {reply("SYST:SER?", "IMB-3100 BCDEF9 rev 2")}, serno, "\"BCDEF9\""},
        {"failed keeps it", {refused("SYST:SER?")}, serno, "\"BCDEF9\""},
        {"shorter reply", {reply("SYST:SER?", "123456789AB")}, serno, "\"AB\""},
        {"reply ending before position 9", {reply("SYST:SER?", "12345")}, serno, "\"\""},
        {"failed keeps the empty one", {refused("SYST:SER?")}, serno, "\"\""},
        {"exactly 15", {reply("SYST:SER?", "xxxxxxxxx000042")}, serno, "\"000042\""},
    });
}

TEST_F(ImCommands, CalibrationData)
{
    runCases({
        {"freq count", {reply("IM:CAL:FREQ:COUNT?", "12")}, [] { return num(im_get_marker_freq_count()); }, "12"},
        {"freq count leading digits", {reply("IM:CAL:FREQ:COUNT?", " 12abc")}, [] { return num(im_get_marker_freq_count()); }, "12"},
        {"freq count word", {reply("IM:CAL:FREQ:COUNT?", "abc")}, [] { return num(im_get_marker_freq_count()); }, "0"},
        {"freq count failed", {refused("IM:CAL:FREQ:COUNT?")}, [] { return num(im_get_marker_freq_count()); }, "0"},
        {"gain count", {reply("IM:CAL:GAIN:COUNT?", "-3")}, [] { return num(im_get_marker_gain_count()); }, "-3"},
        {"gain count failed", {refused("IM:CAL:GAIN:COUNT?")}, [] { return num(im_get_marker_gain_count()); }, "0"},
        {"cal line", {reply("IM:CAL:DATA? 3 2 1 0", "1.234567")},
         [] { return text(im_get_cal_config(3, 2, 1, 0)); }, "\"IM:CAL:DATA 3 2 1 0 1.234567\""},
        {"cal line failed", {refused("IM:CAL:DATA? 3 2 1 0")},
         [] { return text(im_get_cal_config(3, 2, 1, 0)); }, "\"IM:CAL:DATA 3 2 1 0 0.0\""},
        {"cal line cut at a control character", {reply("IM:CAL:DATA? 0 1 2 3", "1.5\t2.5")},
         [] { return text(im_get_cal_config(0, 1, 2, 3)); }, "\"IM:CAL:DATA 0 1 2 3 1.5\""},
        {"cal line negative indexes", {reply("IM:CAL:DATA? -1 0 0 -7", "-0.25")},
         [] { return text(im_get_cal_config(-1, 0, 0, -7)); }, "\"IM:CAL:DATA -1 0 0 -7 -0.25\""},
        {"cal line longest reply", {reply("IM:CAL:DATA? 1 1 1 1", std::string(178, '9'))},
         [] { return text(im_get_cal_config(1, 1, 1, 1)); }, "\"IM:CAL:DATA 1 1 1 1 " + std::string(178, '9') + "\""},
    });
}

TEST(ImReplyParsers, ReadyModeAndCount)
{
    struct ParseCase { const char* reply; int ready; int modeOk; int mode; int count; };
    const ParseCase cases[] = {
        {"0", 0, 1, 0, 0},
        {"1", 1, 1, 1, 1},
        {"+3", 1, 1, 3, 3},
        {"", 0, 0, -9, 0},
        {"   ", 0, 0, -9, 0},
        {"1.0", 0, 0, -9, 1},
        {"word", 0, 0, -9, 0},
        {"2A", 0, 0, -9, 2},
        {"-", 0, 0, -9, 0},
        {"12 ", 1, 1, 12, 12},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s", c.reply);
        EXPECT_EQ(im_parse_ready(buffer), c.ready) << "[" << c.reply << "]";
        std::snprintf(buffer, sizeof buffer, "%s", c.reply);
        int mode = -9;
        EXPECT_EQ(im_parse_mode(buffer, &mode), c.modeOk) << "[" << c.reply << "]";
        EXPECT_EQ(mode, c.mode) << "[" << c.reply << "]";
        EXPECT_EQ(im_parse_count(c.reply), c.count) << "[" << c.reply << "]";
    }
}

TEST(ImReplyParsers, CalLineStopsAtTheFirstControlCharacter)
{
    char line[IM_CAL_LINE_SIZE];
    im_format_cal_line(3, 2, 1, 0, "1.234567\r", line);
    EXPECT_STREQ(line, "IM:CAL:DATA 3 2 1 0 1.234567");
    im_format_cal_line(3, 2, 1, 0, nullptr, line);
    EXPECT_STREQ(line, "IM:CAL:DATA 3 2 1 0 0.0");
    im_format_cal_line(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, std::string(400, '7').c_str(), line);
    const std::string expected = "IM:CAL:DATA -2147483648 -2147483648 -2147483648 -2147483648 " +
                                 std::string(IM_REPLY_SIZE, '7');
    EXPECT_EQ(std::string(line), expected);
}

TEST(ImReplyParsers, RegisterAndSerial)
{
    uint32_t v = 0;
    EXPECT_EQ(im_parse_register("FFFFFFFFF", &v), 0);  // low 32 bits
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(im_parse_register("0x", &v), 0);         // the 0 alone
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(im_parse_register("", &v), -1);
    char serno[IM_SERNO_LEN + 1];
    im_parse_serno("", serno);
    EXPECT_STREQ(serno, "");
    im_parse_serno("123456789ABCDEFGH", serno);
    EXPECT_STREQ(serno, "ABCDEF");
}

}  // namespace
