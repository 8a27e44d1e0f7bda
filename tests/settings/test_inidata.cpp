// The settings store on the headless toolkit: rows of every data type over a
// test panel, saved to and loaded from real files; rows that cannot be used
// cost only themselves.
#include "settings/ini.h"
#include "settings/inidata.h"

#include "tests/support/files.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using tsupport::readFile;
using tsupport::writeFile;
using Texts = std::vector<std::string>;

enum { C_INT = 1,
    C_INT2,
    C_DBL,
    C_FLT,
    C_STR };

Texts messages;
void capture(const char* format, ...) {
    char text[2048];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    messages.emplace_back(text);
}

class Inidata : public ::testing::Test {
protected:
    void SetUp() override {
        ui::resetForTests();
        UiPanelDef a;
        a.id = 1;
        const auto numeric = [](int id, int type) { return UiCtrlDef{.id = id, .dataType = type, .height = 10, .width = 10}; };
        a.controls = {numeric(C_INT, VAL_INTEGER), numeric(C_INT2, VAL_INTEGER), numeric(C_DBL, VAL_DOUBLE),
            numeric(C_FLT, VAL_FLOAT), {.id = C_STR, .kind = UiCtrlKind::String, .height = 10, .width = 10}};
        ui_register_resource(UiResourceDef{"inidata_test.uir", {a}});
        panel_ = LoadPanel(0, "inidata_test.uir", 1);
        ASSERT_GT(panel_, 0);
        messages.clear();
        inidata_hook_debug_printf(capture);
    }
    void TearDown() override { inidata_hook_debug_printf(nullptr); }
    double number(int control) const {
        double v = 0;
        EXPECT_EQ(GetCtrlVal(panel_, control, &v), 0);
        return v;
    }

    int panel_ = -1;
    tsupport::TempDir dir_;
};

// Each row type: the text saved for a control value and the value loaded back.
TEST_F(Inidata, EveryDataTypeSavesAndNarrowsAsItsRowSays) {
    const struct {
        int32_t type;
        int control;
        double value; // set into the control before saving
        const char* saved; // the item's text in the file
        const char* file; // a text to load instead (empty: what was saved)
        double loaded;
    } cases[] = {
        {INIDATA_FLOAT, C_FLT, 0.1, "0.1000000014901161", "", static_cast<double>(0.1f)},
        {INIDATA_DOUBLE, C_DBL, 5.0, "5", "-Inf", -1e300}, // the control's range limits it
        {INIDATA_CHAR, C_INT, 200, "-56", "383", 127}, // low 8 bits, signed
        {INIDATA_INT, C_INT, -2147483647 - 1, "-2147483648", "", -2147483648.0},
        {INIDATA_UCHAR, C_INT, 300, "44", "300", 44},
        {INIDATA_USHORT, C_INT, -1, "65535", "65537", 1},
        {INIDATA_UINT, C_INT, -1, "4294967295", "", -1}, // an int control keeps the bits
        {INIDATA_STRING, C_STR, 0, "\"say \\\"hi\\\" \\\\\"", "", 0},
    };
    const std::string path = dir_.file("types.ini");
    for (const auto& c : cases) {
        const bool text = c.type == INIDATA_STRING;
        ASSERT_EQ(text ? SetCtrlVal(panel_, C_STR, "say \"hi\" \\") : SetCtrlVal(panel_, c.control, c.value), 0);
        const InidataRow table[] = {{c.type, "S", "T", "0", &panel_, c.control}, {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
        ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
        EXPECT_EQ(readFile(path), std::string("[S]\r\nT = ") + c.saved + "\r\n\r\n");
        if (*c.file)
            writeFile(path, std::string("[S]\r\nT = ") + c.file + "\r\n");
        text ? SetCtrlVal(panel_, C_STR, "other") : SetCtrlVal(panel_, c.control, 99);
        ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
        std::string got;
        GetCtrlVal(panel_, C_STR, &got);
        EXPECT_TRUE(text ? got == "say \"hi\" \\" : number(c.control) == c.loaded) << c.saved;
    }
    EXPECT_EQ(messages, Texts{});
}

// A missing section, malformed values, a line too long to read, numbers out
// of range, a text too long and a panel not loaded cost only their own rows;
// the sections keep the table's order, and a panel loaded later works.
TEST_F(Inidata, BadRowsCostOnlyThemselves) {
    int late = -1;
    const InidataRow table[] = {
        {INIDATA_INT, "S", "INT", "0", &panel_, C_INT}, {INIDATA_DOUBLE, "S", "DBL", "0", &panel_, C_DBL},
        {INIDATA_UCHAR, "S", "UCHAR", "0", &panel_, C_FLT}, {INIDATA_STRING, "S", "STR", "0", &panel_, C_STR},
        {INIDATA_INT, "LATE", "X", "0", &late, C_INT}, {INIDATA_INT, "S", "LAST", "0", &panel_, C_INT2},
        {INIDATA_INT, "METER", "MODE", "0", &panel_, C_INT}, {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    const std::string path = dir_.file("bad.ini");
    writeFile(path, "[S]\r\nINT = 12abc\r\nDBL = \"3.5\"\r\nUCHAR = -1\r\nSTR = " + std::string(300, 's') + "\r\nLAST = 9\r\nINT = 5000000000\r\n[LATE]\r\nX = 1\r\n");
    for (int control : {C_INT, C_DBL, C_FLT})
        SetCtrlVal(panel_, control, 1);
    SetCtrlVal(panel_, C_STR, std::string(600, 'q'));
    EXPECT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ((std::vector<double>{number(C_INT), number(C_DBL), number(C_FLT), number(C_INT2)}),
        (std::vector<double>{1, 1, 1, 9}));
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(Texts(messages.begin(), messages.begin() + 4),
        (Texts{"inidata_load_file: [S]:INT Get Data Fail = 1!\n", "inidata_load_file: [S]:DBL Get Data Fail = 4!\n",
            "inidata_load_file: [S]:UCHAR Get Data Fail = 8!\n", "inidata_load_file: [S]:STR Get Data Fail = 5!\n"}));
    EXPECT_EQ(messages[4].rfind("inidata_load_file: [LATE]:X Set Control Fail = ", 0), 0u) << messages[4];
    EXPECT_EQ(messages[5], "inidata_load_file: [METER]:MODE Get Data Fail = 1!\n");
    messages.clear();
    ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
    EXPECT_EQ(messages.at(0), "inidata_save_file: [S]:STR Text Cut to 511 Characters!\n");
    const std::string saved = readFile(path).value_or("");
    EXPECT_EQ(saved.rfind("[S]\r\nINT = 1\r\nDBL = 1\r\nUCHAR = 1\r\nSTR Line0001 = \"qqq", 0), 0u) << saved;
    EXPECT_TRUE(saved.ends_with("q\"\r\nLAST = 9\r\n\r\n[LATE]\r\n\r\n[METER]\r\nMODE = 1\r\n\r\n")) << saved;
    late = panel_;
    writeFile(path, "[LATE]\r\nX = 7\r\n");
    ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ(number(C_INT), 7);
    // A settings file is a few kilobytes: one of sections without end is refused, not read into memory.
    std::string huge;
    for (int i = 0; huge.size() <= INIDATA_MAX_FILE_SIZE; ++i) huge += "[S" + std::to_string(i) + "]\r\n";
    writeFile(path, "[LATE]\r\nX = 3\r\n" + huge);
    EXPECT_EQ(inidata_load_file(path.c_str(), table), 0);
    EXPECT_EQ(inidata_last_file_error(), kIniErrTooLarge);
    EXPECT_EQ(number(C_INT), 7);
}

} // namespace
