// The IM command set against the simulated module over loopback TCP: every
// command is in the module's vocabulary with arguments of the right form, the
// module keeps the values meant, replies come back converted, and queries and
// commands that fail give the documented fallbacks.  The reply parsers on
// their own take what the module never sends.
#include "module/im.h"

#include "link/ifp.h"
#include "tests/support/run_fixture.h"

#include <cstdio>
#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace tsupport;
using Texts = std::vector<std::string>;

std::string num(double v) { return (std::ostringstream() << std::setprecision(9) << v).str(); }
std::string text(const char* p) { return p ? p : "null"; }

struct Call {
    const char* name;
    std::function<std::string()> run;
    std::string result; // what the call gives, as text
    std::size_t sent; // commands sent
    std::vector<std::pair<const char*, const char*>> kept; // settings the module keeps afterwards
};

class ImCommands : public RunTest {
protected:
    void check(const std::vector<Call>& calls, const sim::Faults& faults = {}) {
        for (const Call& c : calls) {
            clearLog();
            sim_->setFaults(faults);
            EXPECT_EQ(c.run(), c.result) << c.name;
            const auto records = sim_->commandRecords();
            EXPECT_EQ(records.size(), c.sent) << c.name;
            for (const sim::LogEntry& e : records)
                EXPECT_TRUE(e.valid) << c.name << ": " << e.text;
            for (const auto& [header, value] : c.kept)
                EXPECT_EQ(sim_->instrument().setting(header).value_or("none"), value) << c.name;
        }
    }
};

TEST_F(ImCommands, EveryCallSpeaksTheModulesVocabulary) {
    openLink();
    static uint8_t b = 0; // what the register and mode reads give
    static uint16_t w = 0;
    static int mode = 0;
    check({
        {"source 0", [] { im_set_dac_out_source(0); return std::string(); }, "", 1, {{"IM:OUTP:STAT", "0"}}},
        {"settings", [] { im_set_dac_out_source(3); im_set_dac_out_source(1); im_set_dac_direct_level(-0.1f);
                          im_set_sample_times(1024); im_set_sample_cycle(10); im_set_curr_unit(0.001f);
                          return num(im_get_curr_unit()); }, num(0.001f), 6,
            {{"IM:OUTP:STAT", "2"}, {"IM:OUTP:VOLT", "-0.100000"}, {"IM:INP:SAMP:COUN", "1024"}, {"IM:INP:SAMP:CYCL", "10"},
                {"IM:INP:CURR:UNIT", "0.001000"}}},
        {"inputs", [] { im_set_voltadc_inp_mode(3); im_set_voltadc_inp_mode(0); im_set_curradc_inp_mode(1);
                        im_set_voltadc_inp_gain(5); im_set_curradc_inp_gain(3); im_set_curr_inp_cmrr(1); im_set_volt_inp_cmrr(1);
                        return std::string(); }, "", 4,
            {{"IM:INP:VOLT:STAT", "2"}, {"IM:INP:CURR:STAT", "0"}, {"IM:INP:VOLT:GAIN", "5"}, {"IM:INP:CURR:GAIN", "3"}}},
        {"switches: 1 is on, anything else off", [] { im_set_adc_inp_dl(2); im_set_curradc_inp_loopback(1); im_set_inp_agc(2);
                                                     im_set_inp_azc(1); im_set_phase_mode(1); im_set_ac_peak_mode(3);
                                                     return std::string(); }, "", 6,
            {{"IM:INP:DL", "0"}, {"IM:INP:CURR:DL", "1"}, {"IM:INP:GAIN:AUTO", "0"}, {"IM:INP:AUTO:ZERO", "1"},
                {"IM:PHASE:STATE", "1"}, {"IM:AC:VALUE:PEAK", "0"}}},
        {"sine", [] { return num(im_set_dds_sine_freq(1000.0)); }, num(static_cast<float>(sim::ddsFrequency(1000.0))),
            2, {{"IM:OUTP:SINE:FREQ", "1000.000000"}}},
        {"square", [] { return num(im_set_dds_square_freq(50.5)); }, num(static_cast<float>(sim::ddsFrequency(50.5))),
            2, {{"IM:OUTP:SQU:FREQ", "50.500000"}}},
        {"rate", [] { return num(im_set_sample_rate(1e5)); }, "100000", 2, {}},
        {"outpb", [] { return num(im_outpb(0x1A, 0x1FF)); }, "0", 1, {{"MIOB", "001A FF"}}},
        {"outpdw", [] { return num(im_outpdw(0xFFFD, 0x12345678u)); }, "0", 2, {{"MIOW", "FFFF 1234"}}},
        {"inpb", [] { b = 0; const int r = im_inpb(0x1A, &b); return num(r) + " " + num(b); }, "0 255", 1, {}},
        {"inpw", [] { w = 0; const int r = im_inpw(0xFFFD, &w); return num(r) + " " + num(w); }, "0 22136", 1, {}},
        {"addresses beyond 16 bits", [] { return num(im_outpb(-1, 1) + im_outpdw(0xFFFE, 1) + im_inpb(0x10000, &b)); },
            "-3", 0, {}},
        {"mode", [] { mode = 3; const int written = im_access_im_mode(&mode, 1); mode = 0;
                      const int read = im_access_im_mode(&mode, 0); return num(written + read) + " " + num(mode); },
            "2 3", 2, {{"IM:MODE", "3"}}},
        {"identity", [] { const std::string v = text(im_get_module_version()) + " " + im_get_device_serno();
                          const int f = im_get_marker_freq_count(); return v + " " + num(f) + " " + num(im_get_marker_gain_count()); },
            "1.20 ABCDEF 8 4", 4, {}},
        {"cal value", [] { return text(im_get_cal_config(3, 2, 1, 0)); },
            "IM:CAL:DATA 3 2 1 0 " + sim_->instrument().execute("IM:CAL:DATA? 3 2 1 0").value_or("none"), 1, {}},
        {"ready", [] { return num(im_get_data_ready()); }, "1", 1, {}},
    });
    // Every reply too long for its buffer: each query is tried again, then gives up.
    sim::Faults overlong;
    overlong.overlong = 1000;
    check({{"sine", [] { return num(im_set_dds_sine_freq(10.0)); }, "0", 4, {}},
              {"unit", [] { return num(im_get_curr_unit()); }, "0", IFP_QUERY_ATTEMPTS, {}},
              {"version", [] { return text(im_get_module_version()); }, "null", IFP_QUERY_ATTEMPTS, {}},
              {"serial", [] { return std::string(im_get_device_serno()); }, "ABCDEF", IFP_QUERY_ATTEMPTS, {}},
              {"cal value", [] { return text(im_get_cal_config(2, 1, 0, 5)); }, "IM:CAL:DATA 2 1 0 5 0.0", IFP_QUERY_ATTEMPTS, {}},
              {"mode", [] { mode = 77; const int r = im_access_im_mode(&mode, 0); return num(r) + " " + num(mode); }, "0 77", IFP_QUERY_ATTEMPTS, {}},
              {"inpb", [] { b = 9; const int r = im_inpb(1, &b); return num(r) + " " + num(b); }, "-1 9", IFP_QUERY_ATTEMPTS, {}}},
        overlong);
    // Every acknowledgement garbled: a double word's second half is not sent after a failed first.
    sim::Faults garbled;
    garbled.garbleOk = 1000;
    check({{"outpdw", [] { return num(im_outpdw(0x100, 0x12345678u)); }, "-1", IFP_QUERY_ATTEMPTS, {{"MIOW", "0100 5678"}}},
              {"mode", [] { mode = 1; return num(im_access_im_mode(&mode, 1)); }, "0", IFP_QUERY_ATTEMPTS, {}}},
        garbled);
}

TEST(ImReplyParsers, WhatTheModuleNeverSends) {
    const std::tuple<const char*, int, int> cases[] = {// reply, ready, mode parsed
        {"+3", 1, 1}, {"1.0", 0, 0}, {" 1", 0, 0}, {"2A", 0, 0}, {"12 ", 1, 1}, {"0000000000000", 0, 1}, {"4294967296", 1, 0}};
    for (const auto& [reply, ready, modeOk] : cases) {
        char a[32], b[32];
        int mode = -9;
        std::snprintf(a, sizeof a, "%s", reply);
        std::snprintf(b, sizeof b, "%s", reply);
        EXPECT_EQ(std::pair(im_parse_ready(a), im_parse_mode(b, &mode)), std::pair(ready, modeOk)) << "[" << reply << "]";
    }
    uint32_t v = 0;
    EXPECT_TRUE(im_parse_register("FFFFFFFFF", &v) == 0 && v == 0xFFFFFFFFu) << "the low 32 bits";
    char line[IM_CAL_LINE_SIZE];
    im_format_cal_line(0, 1, 2, 3, "1.5\t2.5\r", line);
    EXPECT_STREQ(line, "IM:CAL:DATA 0 1 2 3 1.5") << "cut at the first control character";
}

} // namespace
