// The settings store on the headless toolkit: tables of rows over a test
// panel of every value type, saved to and loaded from real files.
#include "settings/inidata.h"

#include "settings/ini.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kFile[] = "inidata_test.uir";
enum { PANEL_A = 1, PANEL_B = 2 };
enum { C_INT = 1, C_DBL, C_FLT, C_STR, C_CHAR, C_SHORT, C_UCHAR, C_USHORT, C_UINT, C_INT2 };
enum { B_RING = 1 };

std::vector<std::string> messages;

void capture(const char* format, ...)
{
    char text[2048];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    messages.emplace_back(text);
}

UiCtrlDef numeric(int id, int type)
{
    UiCtrlDef c;
    c.id = id;
    c.kind = UiCtrlKind::Numeric;
    c.dataType = type;
    c.min = -1e12;
    c.max = 1e12;
    return c;
}

void registerResource()
{
    UiPanelDef a;
    a.id = PANEL_A;
    a.controls = {numeric(C_INT, VAL_INTEGER),   numeric(C_DBL, VAL_DOUBLE), numeric(C_FLT, VAL_FLOAT),
                  numeric(C_CHAR, VAL_INTEGER),  numeric(C_SHORT, VAL_INTEGER),
                  numeric(C_UCHAR, VAL_INTEGER), numeric(C_USHORT, VAL_INTEGER),
                  numeric(C_UINT, VAL_INTEGER),  numeric(C_INT2, VAL_INTEGER)};
    UiCtrlDef str;
    str.id = C_STR;
    str.kind = UiCtrlKind::String;
    str.dataType = VAL_STRING;
    a.controls.push_back(str);
    UiPanelDef b;
    b.id = PANEL_B;
    UiCtrlDef ring;
    ring.id = B_RING;
    ring.kind = UiCtrlKind::Ring;
    ring.dataType = VAL_INTEGER;
    ring.items = {{"zero", 0}, {"one", 1}, {"two", 2}};
    b.controls.push_back(ring);
    UiResourceDef def;
    def.file = kFile;
    def.panels = {a, b};
    ui_register_resource(def);
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spit(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

class Inidata : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::resetForTests();
        registerResource();
        panelA_ = LoadPanel(0, kFile, PANEL_A);
        ASSERT_GT(panelA_, 0);
        messages.clear();
        inidata_hook_debug_printf(capture);
        char tmpl[] = "/tmp/inidata_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        inidata_hook_debug_printf(nullptr);
        ui::resetForTests();
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string p = dir_ + "/" + e->d_name;
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) {
                    ::chmod(p.c_str(), 0700);
                    ::unlink(p.c_str());
                    ::rmdir(p.c_str());
                }
            }
            ::closedir(d);
        }
        ::rmdir(dir_.c_str());
    }
    std::string file(const char* name) const { return dir_ + "/" + name; }
    int tempFiles() const
    {
        int n = 0;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* e = ::readdir(d))
                n += std::strncmp(e->d_name, kIniTempPrefix, std::strlen(kIniTempPrefix)) == 0;
            ::closedir(d);
        }
        return n;
    }
    int intOf(int control) const
    {
        int v = 0;
        EXPECT_EQ(GetCtrlVal(panelA_, control, &v), 0);
        return v;
    }
    std::string textOf(int control) const
    {
        std::string v;
        EXPECT_EQ(GetCtrlVal(panelA_, control, &v), 0);
        return v;
    }

    int panelA_ = -1;
    int panelB_ = -1;
    std::string dir_;
};

// A table in the shape of the application's: sections in the order their
// first row names them, one section name used twice with the same tag
// elsewhere.
std::vector<InidataRow> sampleTable(const int* a, const int* b)
{
    return {
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "FREQUENCY", "1000.0", a, C_DBL},
        {INIDATA_FLOAT, "SAMPLE", "CYCLE", "0.25", a, C_FLT},
        {INIDATA_INT, "METER", "CIRCUIT MODE", "0", a, C_INT},
        {INIDATA_INT, "NYQUST", "CIRCUIT MODE", "1", b, B_RING},
        {INIDATA_STRING, "BACKDOOR", "DCSW_LIST", "0", a, C_STR},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
}

TEST_F(Inidata, SavedFileBeginsWithFirstSectionAndKeepsTableOrder)
{
    panelB_ = LoadPanel(0, kFile, PANEL_B);
    const auto table = sampleTable(&panelA_, &panelB_);
    ASSERT_EQ(inidata_set_default(table.data()), 1);
    const std::string path = file("p.ini");
    ASSERT_EQ(inidata_save_file(path.c_str(), table.data()), 1);
    EXPECT_EQ(slurp(path),
              "[OUTPUT SOURCE]\r\nFREQUENCY = 1000\r\n\r\n"
              "[SAMPLE]\r\nCYCLE = 0.25\r\n\r\n"
              "[METER]\r\nCIRCUIT MODE = 0\r\n\r\n"
              "[NYQUST]\r\nCIRCUIT MODE = 1\r\n\r\n"
              "[BACKDOOR]\r\nDCSW_LIST = \"0\"\r\n\r\n");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(tempFiles(), 0);
}

TEST_F(Inidata, DefaultsAreConvertedByType)
{
    panelB_ = LoadPanel(0, kFile, PANEL_B);
    SetCtrlVal(panelA_, C_DBL, 5.0);
    SetCtrlVal(panelA_, C_STR, "changed");
    SetCtrlVal(panelB_, B_RING, 2);
    const auto table = sampleTable(&panelA_, &panelB_);
    EXPECT_EQ(inidata_set_default(table.data()), 1);
    double d = 0;
    float f = 0;
    int ring = 0;
    GetCtrlVal(panelA_, C_DBL, &d);
    GetCtrlVal(panelA_, C_FLT, &f);
    GetCtrlVal(panelB_, B_RING, &ring);
    EXPECT_EQ(d, 1000.0);
    EXPECT_EQ(f, 0.25f);
    EXPECT_EQ(ring, 1);
    EXPECT_EQ(textOf(C_STR), "0");
}

// Each row type: the text saved for a control value and the value loaded back.
TEST_F(Inidata, EveryDataTypeSavesAndNarrowsAsItsRowSays)
{
    struct Case {
        int32_t type;
        int control;
        double value;         // set into the control before saving
        const char* saved;    // the item's text in the file
        const char* fileText; // a text to load (empty: load what was saved)
        double loaded;        // the control afterwards
    } cases[] = {
        {INIDATA_FLOAT, C_FLT, 0.25, "0.25", "", 0.25},
        {INIDATA_FLOAT, C_FLT, 0.1, "0.1000000014901161", "", static_cast<double>(0.1f)},
        {INIDATA_DOUBLE, C_DBL, 1000.0, "1000", "", 1000.0},
        {INIDATA_DOUBLE, C_DBL, 0.1, "0.1", "", 0.1},
        {INIDATA_DOUBLE, C_DBL, 5.0, "5", "Inf", 1e12},   // the control's range limits it
        {INIDATA_CHAR, C_CHAR, -1, "-1", "", -1},
        {INIDATA_CHAR, C_CHAR, 200, "-56", "", -56},
        {INIDATA_CHAR, C_CHAR, 0, "0", "383", 127},       // low 8 bits, signed
        {INIDATA_SHORT, C_SHORT, 40000, "-25536", "", -25536},
        {INIDATA_SHORT, C_SHORT, 0, "0", "-32769", 32767},
        {INIDATA_INT, C_INT, -2147483647 - 1, "-2147483648", "", -2147483648.0},
        {INIDATA_UCHAR, C_UCHAR, 300, "44", "300", 44},
        {INIDATA_USHORT, C_USHORT, -1, "65535", "65537", 1},
        {INIDATA_UINT, C_UINT, -1, "4294967295", "", -1},   // an int control keeps the bits
        {INIDATA_UINT, C_UINT, 7, "7", "", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("type ") + std::to_string(c.type) + " value " + std::to_string(c.value));
        ASSERT_EQ(SetCtrlVal(panelA_, c.control, c.value), 0);
        const InidataRow table[] = {{c.type, "S", "T", "0", &panelA_, c.control},
                                    {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
        const std::string path = file("types.ini");
        ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
        EXPECT_EQ(slurp(path), std::string("[S]\r\nT = ") + c.saved + "\r\n\r\n");
        if (*c.fileText)
            spit(path, std::string("[S]\r\nT = ") + c.fileText + "\r\n");
        SetCtrlVal(panelA_, c.control, 99);
        ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
        double back = 0;
        if (c.type == INIDATA_FLOAT) {
            float f = 0;
            GetCtrlVal(panelA_, c.control, &f);
            back = f;
        } else {
            GetCtrlVal(panelA_, c.control, &back);
        }
        EXPECT_EQ(back, c.loaded);
    }
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(Inidata, TextsWithQuotesBackslashesAndControlCharactersComeBackUnchanged)
{
    const InidataRow table[] = {{INIDATA_STRING, "BACKDOOR", "DCSW_LIST", "0", &panelA_, C_STR},
                                {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    std::string ctl;
    for (int c = 1; c < 32; ++c)
        ctl += static_cast<char>(c);
    const std::string texts[] = {
        "",
        "say \"hi\" \\ path\\to\\file",
        ctl + "\x7f end",
        std::string(80, 'x'),
        std::string(81, 'y'),
        "\xc3\xa4\xc3\xb6 caf\xc3\xa9 \"" + std::string(200, '\\'),
        std::string(INIDATA_TEXT_MAX, 'z'),
    };
    const std::string path = file("text.ini");
    for (const std::string& text : texts) {
        ASSERT_EQ(SetCtrlVal(panelA_, C_STR, text), 0);
        ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
        SetCtrlVal(panelA_, C_STR, "other");
        ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
        EXPECT_EQ(textOf(C_STR), text);
    }
    SetCtrlVal(panelA_, C_STR, "");
    inidata_save_file(path.c_str(), table);
    EXPECT_EQ(slurp(path), "[BACKDOOR]\r\nDCSW_LIST = \"\"\r\n\r\n");
    SetCtrlVal(panelA_, C_STR, std::string(81, 'y'));
    inidata_save_file(path.c_str(), table);
    EXPECT_EQ(slurp(path), "[BACKDOOR]\r\nDCSW_LIST Line0001 = \"" + std::string(80, 'y') +
                               "\"\r\nDCSW_LIST Line0002 = \"y\"\r\n\r\n");
    EXPECT_TRUE(messages.empty());
}

// A profile written by hand: blanks around "=", comments, an item before the
// first section, letter case of names, "Inf", numbered pieces of a text.
TEST_F(Inidata, HandWrittenProfileLoadsByTheFileRules)
{
    const InidataRow table[] = {
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "FREQUENCY", "1000.0", &panelA_, C_DBL},
        {INIDATA_FLOAT, "SAMPLE", "CYCLE", "0.25", &panelA_, C_FLT},
        {INIDATA_INT, "SAMPLE", "AUTO", "0", &panelA_, C_INT},
        {INIDATA_STRING, "BACKDOOR", "DCSW_LIST", "0", &panelA_, C_STR},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    const std::string path = file("hand.ini");
    spit(path, "FREQUENCY = 7\r\n"
               "; FREQUENCY = 5\r\n"
               "[OUTPUT SOURCE]\r\n"
               "  FREQUENCY=2000  \r\n"
               ";FREQUENCY = 6\r\n"
               "\r\n"
               "[ sample ]\n"
               "cycle = -inf\n"
               "Auto=\t3\n"
               "[BACKDOOR]\n"
               "DCSW_LIST Line0001 = \"1.5 \"\n"
               "DCSW_LIST Line0002 = \"2.5 \"\n");
    ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
    double d = 0;
    float f = 0;
    GetCtrlVal(panelA_, C_DBL, &d);
    GetCtrlVal(panelA_, C_FLT, &f);
    EXPECT_EQ(d, 2000.0);
    EXPECT_EQ(f, -1e12f);   // -Inf, limited by the control
    EXPECT_EQ(intOf(C_INT), 3);
    EXPECT_EQ(textOf(C_STR), "1.5 2.5 ");
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(Inidata, TextsLongerThanARowHoldsAreCutWithAMessage)
{
    const InidataRow table[] = {{INIDATA_STRING, "B", "L", "0", &panelA_, C_STR},
                                {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    const std::string path = file("long.ini");
    ASSERT_EQ(SetCtrlVal(panelA_, C_STR, std::string(600, 'q')), 0);
    ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
    ASSERT_EQ(messages, std::vector<std::string>{"inidata_save_file: [B]:L Text Cut to 511 Characters!\n"});
    messages.clear();
    // A file from elsewhere with a longer text.
    std::string item = "[B]\r\n";
    for (int i = 1; i <= 8; ++i)
        item += "L Line000" + std::to_string(i) + " = \"" + std::string(80, 'r') + "\"\r\n";
    spit(path, item);
    ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ(textOf(C_STR), std::string(INIDATA_TEXT_MAX, 'r'));
    EXPECT_EQ(messages, std::vector<std::string>{"inidata_load_file: [B]:L Text Cut to 511 Characters!\n"});
}

TEST_F(Inidata, MissingSectionCostsOnlyItsRows)
{
    panelB_ = LoadPanel(0, kFile, PANEL_B);
    const InidataRow table[] = {
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "FREQUENCY", "1000.0", &panelA_, C_DBL},
        {INIDATA_INT, "METER", "CIRCUIT MODE", "0", &panelA_, C_INT},
        {INIDATA_INT, "METER", "DEVICE MODE", "0", &panelA_, C_INT2},
        {INIDATA_INT, "METER", "QUALITY MODE", "0", &panelB_, B_RING},
        {INIDATA_INT, "NYQUST", "CIRCUIT MODE", "0", &panelA_, C_CHAR},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    const std::string path = file("nometer.ini");
    spit(path, "[OUTPUT SOURCE]\r\nFREQUENCY = 2500\r\n\r\n[NYQUST]\r\nCIRCUIT MODE = 1\r\n\r\n");
    SetCtrlVal(panelA_, C_INT, 5);
    SetCtrlVal(panelA_, C_INT2, 6);
    SetCtrlVal(panelB_, B_RING, 2);
    EXPECT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "inidata_load_file: [METER]:CIRCUIT MODE Get Data Fail = 1!\n",
                            "inidata_load_file: [METER]:DEVICE MODE Get Data Fail = 1!\n",
                            "inidata_load_file: [METER]:QUALITY MODE Get Data Fail = 1!\n",
                        }));
    double freq = 0;
    int ring = 0;
    GetCtrlVal(panelA_, C_DBL, &freq);
    GetCtrlVal(panelB_, B_RING, &ring);
    EXPECT_EQ(freq, 2500.0);
    EXPECT_EQ(intOf(C_INT), 5);
    EXPECT_EQ(intOf(C_INT2), 6);
    EXPECT_EQ(ring, 2);
    EXPECT_EQ(intOf(C_CHAR), 1);
}

// Values a user's editor or another program may leave: each costs its row only.
TEST_F(Inidata, MalformedValuesLeaveTheirControlUnchanged)
{
    const InidataRow table[] = {
        {INIDATA_INT, "S", "INT", "0", &panelA_, C_INT},
        {INIDATA_DOUBLE, "S", "DBL", "0", &panelA_, C_DBL},
        {INIDATA_UCHAR, "S", "UCHAR", "0", &panelA_, C_UCHAR},
        {INIDATA_STRING, "S", "STR", "0", &panelA_, C_STR},
        {INIDATA_UINT, "S", "UINT", "0", &panelA_, C_UINT},
        {INIDATA_INT, "S", "LAST", "0", &panelA_, C_INT2},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    const std::string path = file("bad.ini");
    spit(path, "[S]\r\nINT = 12abc\r\nDBL = \"3.5\"\r\nUCHAR = -1\r\nSTR = " + std::string(300, 's') +
                   "\r\nUINT = 4294967296\r\nLAST = 9\r\nINT = 5000000000\r\n");
    SetCtrlVal(panelA_, C_INT, 1);
    SetCtrlVal(panelA_, C_DBL, 2.0);
    SetCtrlVal(panelA_, C_UCHAR, 3);
    SetCtrlVal(panelA_, C_STR, "keep");
    SetCtrlVal(panelA_, C_UINT, 4);
    EXPECT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ(intOf(C_INT), 1);
    double d = 0;
    GetCtrlVal(panelA_, C_DBL, &d);
    EXPECT_EQ(d, 2.0);
    EXPECT_EQ(intOf(C_UCHAR), 3);
    EXPECT_EQ(textOf(C_STR), "keep");   // the over-long line is not read at all
    EXPECT_EQ(intOf(C_UINT), 4);
    EXPECT_EQ(intOf(C_INT2), 9);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "inidata_load_file: [S]:INT Get Data Fail = 1!\n",
                            "inidata_load_file: [S]:DBL Get Data Fail = 4!\n",
                            "inidata_load_file: [S]:UCHAR Get Data Fail = 8!\n",
                            "inidata_load_file: [S]:STR Get Data Fail = 5!\n",
                            "inidata_load_file: [S]:UINT Get Data Fail = 7!\n",
                        }));
}

TEST_F(Inidata, UnknownDataTypes)
{
    const InidataRow table[] = {
        {INIDATA_INT, "S", "A", "7", &panelA_, C_INT},
        {9, "S", "ODD", "1", &panelA_, C_INT2},
        {INIDATA_DOUBLE, "S", "B", "2.5", &panelA_, C_DBL},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    SetCtrlVal(panelA_, C_DBL, 1.0);
    EXPECT_EQ(inidata_set_default(table), 0);
    EXPECT_EQ(intOf(C_INT), 7);
    double d = 0;
    GetCtrlVal(panelA_, C_DBL, &d);
    EXPECT_EQ(d, 1.0);   // rows after the unknown one are not processed
    EXPECT_EQ(messages, std::vector<std::string>{"inidata_set_default: Unknown Data Type!\n"});

    messages.clear();
    const std::string path = file("odd.ini");
    EXPECT_EQ(inidata_save_file(path.c_str(), table), 1);
    EXPECT_EQ(slurp(path), "[S]\r\nA = 7\r\nB = 1\r\n\r\n");
    EXPECT_EQ(messages, std::vector<std::string>{"inidata_save_file: [S]:ODD Unknown Data Type = 9!\n"});

    messages.clear();
    EXPECT_EQ(inidata_load_file(path.c_str(), table), 1);
    EXPECT_EQ(messages, std::vector<std::string>{"inidata_load_file: [S]:ODD Unknown Data Type = 9!\n"});
}

TEST_F(Inidata, LaterRowOfTheSameItemReplacesTheEarlierAtTheEnd)
{
    const InidataRow table[] = {
        {INIDATA_INT, "S", "X", "0", &panelA_, C_INT},
        {INIDATA_INT, "S", "Y", "0", &panelA_, C_INT2},
        {INIDATA_INT, "S", "X", "0", &panelA_, C_CHAR},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    SetCtrlVal(panelA_, C_INT, 1);
    SetCtrlVal(panelA_, C_INT2, 2);
    SetCtrlVal(panelA_, C_CHAR, 3);
    const std::string path = file("dup.ini");
    ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
    EXPECT_EQ(slurp(path), "[S]\r\nY = 2\r\nX = 3\r\n\r\n");
}

// The panel handle is read at each operation: rows of a panel loaded after
// the table was made work, and rows of a panel not loaded fail harmlessly.
TEST_F(Inidata, PanelHandlesAreReadAtEachOperation)
{
    int late = -1;
    const InidataRow table[] = {
        {INIDATA_INT, "A", "X", "4", &panelA_, C_INT},
        {INIDATA_INT, "B", "RING", "2", &late, B_RING},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    };
    const std::string path = file("late.ini");
    EXPECT_EQ(inidata_set_default(table), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("inidata_set_default: [B]:RING Set Control Fail = ", 0), 0u) << messages[0];
    messages.clear();
    ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
    EXPECT_EQ(slurp(path), "[A]\r\nX = 4\r\n\r\n[B]\r\n\r\n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("inidata_save_file: [B]:RING Get Control Fail = ", 0), 0u) << messages[0];

    late = LoadPanel(0, kFile, PANEL_B);
    ASSERT_GT(late, 0);
    spit(path, "[A]\r\nX = 8\r\n[B]\r\nRING = 1\r\n");
    messages.clear();
    ASSERT_EQ(inidata_load_file(path.c_str(), table), 1);
    int ring = 0;
    GetCtrlVal(late, B_RING, &ring);
    EXPECT_EQ(ring, 1);
    EXPECT_EQ(intOf(C_INT), 8);
    EXPECT_TRUE(messages.empty());
}

// Files that cannot be used: the load or save yields 0 with the message of
// the store and the reason, and a failed save leaves the target as it was.
TEST_F(Inidata, FilesThatCannotBeUsed)
{
    const InidataRow table[] = {{INIDATA_INT, "S", "X", "0", &panelA_, C_INT},
                                {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    SetCtrlVal(panelA_, C_INT, 42);
    ASSERT_EQ(::mkdir(file("folder.ini").c_str(), 0700), 0);
    spit(file("nul.ini"), std::string("[S]\r\nX = 1\r\n\0\0", 14));
    struct Case {
        std::string path;
        const char* reason;
    } loads[] = {
        {file("missing.ini"), "no such file or folder"},
        {file("folder.ini"), "not a regular file"},
        {file("nul.ini"), "not a text file (it holds NUL bytes)"},
        {"", "no usable file name"},
    };
    for (const Case& c : loads) {
        messages.clear();
        EXPECT_EQ(inidata_load_file(c.path.c_str(), table), 0) << c.path;
        EXPECT_EQ(messages, (std::vector<std::string>{"inidata_load_file: Ini_ReadFromFile " + c.path + " Fail",
                                                      std::string(": ") + c.reason + "\n"}));
        EXPECT_EQ(intOf(C_INT), 42);
    }

    const std::string ro = file("ro.ini");
    spit(ro, "[OLD]\r\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    Case saves[] = {
        {ro, "the file is read-only"},
        {file("folder.ini"), "not a regular file"},
        {file("nowhere/p.ini"), "the file cannot be written (folder missing, read-only or full?)"},
    };
    for (const Case& c : saves) {
        messages.clear();
        EXPECT_EQ(inidata_save_file(c.path.c_str(), table), 0) << c.path;
        EXPECT_EQ(messages, std::vector<std::string>{"inidata_save_file: Ini_WriteToFile " + c.path +
                                                     " Fail: " + c.reason + "\n"});
    }
    EXPECT_EQ(slurp(ro), "[OLD]\r\n");
    EXPECT_EQ(tempFiles(), 0);
}

// A save over an existing profile replaces it whole: the old text or the
// new one, never a mix, and no temporary file remains.
TEST_F(Inidata, SaveReplacesTheWholeFile)
{
    const InidataRow table[] = {{INIDATA_STRING, "S", "T", "0", &panelA_, C_STR},
                                {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    const std::string path = file("p.ini");
    spit(path, "[S]\r\nT = \"" + std::string(5000, 'o') + "\"\r\n[EXTRA]\r\nK = 1\r\n");
    SetCtrlVal(panelA_, C_STR, "new");
    ASSERT_EQ(inidata_save_file(path.c_str(), table), 1);
    EXPECT_EQ(slurp(path), "[S]\r\nT = \"new\"\r\n\r\n");
    EXPECT_EQ(tempFiles(), 0);
    // A disk that fills up half-way through the new text: the old profile stays.
    const InidataRow four[] = {{INIDATA_STRING, "S", "T1", "0", &panelA_, C_STR},
                               {INIDATA_STRING, "S", "T2", "0", &panelA_, C_STR},
                               {INIDATA_STRING, "S", "T3", "0", &panelA_, C_STR},
                               {INIDATA_STRING, "S", "T4", "0", &panelA_, C_STR},
                               {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0}};
    SetCtrlVal(panelA_, C_STR, std::string(INIDATA_TEXT_MAX, 'n'));
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int saved = inidata_save_file(path.c_str(), four);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(slurp(path), "[S]\r\nT = \"new\"\r\n\r\n");
    EXPECT_EQ(tempFiles(), 0);
}

TEST_F(Inidata, MessagesGoToStandardOutputWithoutHookAndAreBounded)
{
    inidata_hook_debug_printf(nullptr);
    testing::internal::CaptureStdout();
    inidata_debug_printf("plain %d\n", 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "plain 5\n");
    EXPECT_TRUE(messages.empty());

    inidata_hook_debug_printf(capture);
    inidata_debug_printf("%s", std::string(2000, 'm').c_str());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string(INIDATA_MESSAGE_MAX, 'm'));
    // A message holding a percent sign reaches the hook as text, not as a format.
    messages.clear();
    inidata_debug_printf("%s", "100%d %s");
    EXPECT_EQ(messages, std::vector<std::string>{"100%d %s"});
}

}  // namespace
