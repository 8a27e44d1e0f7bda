// Panel helpers, pop-up and keyboard wrappers and the debug panel on the
// headless driver.
#include "util/kv_cvi.h"
#include "util/kv_util.h"

#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/resources/debug.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace hl = ui::headless;

constexpr int kTestPanel = 1;
constexpr int kNumeric = 2;

void register_test_panel()
{
    UiCtrlDef numeric;
    numeric.id = kNumeric;
    numeric.kind = UiCtrlKind::Numeric;
    UiPanelDef panel;
    panel.id = kTestPanel;
    panel.title = "helpers";
    panel.controls = {numeric};
    UiResourceDef def;
    def.file = "helpers.uir";
    def.panels = {panel};
    ui_register_resource(def);
}

class UtilUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::resetForTests();
        hl::clearAnswers();
        hl::clearPopups();
        register_test_panel();
    }
    void TearDown() override
    {
        // The debug panel's handle outlives a test; close it the way a user does.
        const int dbg = kv_util_dbg_panel();
        if (dbg != -1)
            debugtext_service(dbg, DEBUG_PANEL_CLOSE, EVENT_COMMIT, nullptr, 0, 0);
        ui::resetForTests();
    }
    static bool visible(int panel) { return ui::panel(panel)->visible; }
};

// ---- kv_cvi ---------------------------------------------------------------------

TEST_F(UtilUi, PanelCtrlActions)
{
    struct Case { bool shownBefore; int action; bool loaded; bool shown; };
    const Case cases[] = {
        {false, 0, true, true},
        {true, 0, true, true},
        {true, 1, true, false},
        {false, 1, true, false},
        {true, 2, false, false},
        {true, 3, true, true},     // not an action: nothing happens
        {false, 3, true, false},
        {true, -1, true, true},
        {false, 99, true, false},
    };
    for (const auto& c : cases) {
        const int panel = LoadPanel(0, "helpers.uir", kTestPanel);
        ASSERT_GT(panel, 0);
        if (c.shownBefore)
            DisplayPanel(panel);
        kv_cvi_panel_ctrl(panel, c.action);
        const ui::Panel* p = ui::panel(panel);
        EXPECT_EQ(p != nullptr, c.loaded) << "action " << c.action;
        if (p != nullptr) {
            EXPECT_EQ(p->visible, c.shown) << "action " << c.action;
            DiscardPanel(panel);
        }
    }
}

TEST_F(UtilUi, DimmedAndVisibleOnlyOneSetsTheAttribute)
{
    struct Case { int on; int expected; };
    const Case cases[] = {{1, 1}, {0, 0}, {2, 0}, {-1, 0}, {255, 0}};
    const int panel = LoadPanel(0, "helpers.uir", kTestPanel);
    ASSERT_GT(panel, 0);
    for (const auto& c : cases) {
        for (int before : {0, 1}) {
            SetCtrlAttribute(panel, kNumeric, ATTR_DIMMED, before);
            kv_cvi_ctrl_dimmed(panel, kNumeric, c.on);
            int dimmed = -1;
            GetCtrlAttribute(panel, kNumeric, ATTR_DIMMED, &dimmed);
            EXPECT_EQ(dimmed, c.expected) << "on " << c.on << " from " << before;

            SetCtrlAttribute(panel, kNumeric, ATTR_VISIBLE, before);
            kv_cvi_ctrl_visible(panel, kNumeric, c.on);
            int shown = -1;
            GetCtrlAttribute(panel, kNumeric, ATTR_VISIBLE, &shown);
            EXPECT_EQ(shown, c.expected) << "on " << c.on << " from " << before;
        }
    }
}

TEST_F(UtilUi, PopupPrintfFormatsIntoTheDebugPopup)
{
    kv_cvi_popup_printf("x=%d y=%s", 5, "ab");
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].kind, hl::PopupRecord::Message);
    EXPECT_EQ(hl::popups()[0].title, "Debug Popup");
    EXPECT_EQ(hl::popups()[0].text, "x=5 y=ab");
}

TEST_F(UtilUi, PopupPrintfCutsALongTextToItsBuffer)
{
    const std::string longText(2000, 'q');
    kv_cvi_popup_printf("%s!", longText.c_str());
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].text, std::string(KV_CVI_POPUP_SIZE - 1, 'q'));
}

// ---- kv_util pop-ups and keys ----------------------------------------------------------

TEST_F(UtilUi, PopupMessageAndYesNo)
{
    kv_util_popup_message("Title", "Text");
    hl::answerConfirm(true);
    EXPECT_EQ(kv_util_popup_ask4yesno("Q", "yes?"), 1);
    hl::answerConfirm(false);
    EXPECT_EQ(kv_util_popup_ask4yesno("Q", "no?"), 0);
    EXPECT_EQ(kv_util_popup_ask4yesno("Q", "unanswered"), 0);
    ASSERT_EQ(hl::popups().size(), 4u);
    EXPECT_EQ(hl::popups()[0].kind, hl::PopupRecord::Message);
    EXPECT_EQ(hl::popups()[0].title, "Title");
    EXPECT_EQ(hl::popups()[0].text, "Text");
    EXPECT_EQ(hl::popups()[1].kind, hl::PopupRecord::Confirm);
    EXPECT_EQ(hl::popups()[2].text, "no?");
}

TEST_F(UtilUi, PopupGets)
{
    struct Case { bool answer; std::string typed; int size; int length; std::string text; };
    const Case cases[] = {
        {true, "hello", 16, 5, "hello"},
        {true, "abcdefghij", 5, 4, "abcd"},     // at most size - 1 characters
        {true, "", 16, 0, ""},
        {true, "x", 1, 0, ""},
        {false, "", 16, 0, ""},                 // cancelled: empty
    };
    for (const auto& c : cases) {
        hl::clearPopups();
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "old");
        if (c.answer)
            hl::answerPrompt(c.typed);
        else
            hl::answerPromptCancel();
        EXPECT_EQ(kv_util_popup_gets("T", "Name?", buffer, c.size), c.length) << c.typed;
        EXPECT_EQ(std::string(buffer), c.text) << c.typed;
        ASSERT_EQ(hl::popups().size(), 1u);
        EXPECT_EQ(hl::popups()[0].kind, hl::PopupRecord::Prompt);
        EXPECT_EQ(hl::popups()[0].text, "Name?");
    }
}

TEST_F(UtilUi, PopupGetsRefusesAnEmptyBuffer)
{
    char buffer[4] = "old";
    EXPECT_EQ(kv_util_popup_gets("T", "Name?", buffer, 0), 0);
    EXPECT_EQ(kv_util_popup_gets("T", "Name?", buffer, -3), 0);
    EXPECT_STREQ(buffer, "old");
    EXPECT_TRUE(hl::popups().empty());
}

TEST_F(UtilUi, PopupGetfile)
{
    hl::answerFile("/tmp/profiles/a.ini");
    const char* path = kv_util_popup_getfile("Load Profile", "default.ini", "*.ini");
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "/tmp/profiles/a.ini");
    ASSERT_EQ(hl::popups().size(), 1u);
    const auto& rec = hl::popups()[0];
    EXPECT_EQ(rec.kind, hl::PopupRecord::FileSelect);
    EXPECT_EQ(rec.title, "Load Profile");
    EXPECT_EQ(rec.text, "*.ini");
    EXPECT_EQ(rec.defaultFile, "default.ini");
    EXPECT_EQ(rec.buttonLabel, VAL_SELECT_BUTTON);

    hl::answerFileCancel();
    EXPECT_EQ(kv_util_popup_getfile("Load Profile", "default.ini", "*.ini"), nullptr);
    EXPECT_EQ(kv_util_popup_getfile("Load Profile", "default.ini", "*.ini"), nullptr);  // unanswered
}

TEST_F(UtilUi, PopupGetfileOnlyTakesPathsThatFitItsBuffer)
{
    const std::string fits = "/" + std::string(KV_UTIL_PATH_SIZE - 2, 'p');
    hl::answerFile(fits);
    const char* path = kv_util_popup_getfile("Save", "", "*.dat");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), fits);

    // One character more would be cut to another file's name: nothing chosen.
    hl::answerFile(fits + "q");
    EXPECT_EQ(kv_util_popup_getfile("Save", "", "*.dat"), nullptr);
}

TEST_F(UtilUi, GetcharMapsTheToolkitKeys)
{
    struct Case { int key; int code; };
    const Case cases[] = {
        {VAL_BACKSPACE_VKEY, 8}, {VAL_DELETE_VKEY, 8}, {VAL_ESC_VKEY, 27}, {VAL_TAB_VKEY, 9},
        {VAL_ENTER_VKEY, 13}, {'a', 'a'}, {13, 13}, {0x600, 0x600}, {0x101, 0x101},
    };
    for (const auto& c : cases) {
        hl::pressKey(c.key);
        EXPECT_EQ(kv_util_getchar(), c.code) << std::hex << c.key;
    }
}

TEST_F(UtilUi, KbhitSeesAPendingKey)
{
    EXPECT_EQ(kv_util_kbhit(), 0);
    hl::pressKey('z');
    EXPECT_NE(kv_util_kbhit(), 0);
    EXPECT_EQ(kv_util_getchar(), 'z');
    EXPECT_EQ(kv_util_kbhit(), 0);
}

// ---- debug panel -------------------------------------------------------------------------

std::string debug_text(int panel)
{
    std::string text;
    EXPECT_GE(GetCtrlVal(panel, DEBUG_PANEL_TEXT, &text), 0);
    return text;
}

TEST_F(UtilUi, DebugPanelThatWillNotLoadIsReportedOnEachLine)
{
    kv_util_dbg_printf("lost %d", 1);
    EXPECT_EQ(kv_util_dbg_panel(), -1);
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].kind, hl::PopupRecord::Message);
    EXPECT_EQ(hl::popups()[0].title, "Open Debug Panel");
    EXPECT_EQ(hl::popups()[0].text, "       FAIL!");
    kv_util_dbg_printf("lost %d", 2);
    EXPECT_EQ(hl::popups().size(), 2u);
    EXPECT_TRUE(ui::panelHandles().empty());
}

TEST_F(UtilUi, DebugPanelWithoutItsCallbackWillNotLoad)
{
    debug_register_resource();
    kv_util_dbg_printf("x");
    EXPECT_EQ(kv_util_dbg_panel(), -1);
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].title, "Open Debug Panel");
}

class DebugPanel : public UtilUi {
protected:
    void SetUp() override
    {
        UtilUi::SetUp();
        debug_register_resource();
        kv_util_register_callbacks();
    }
};

TEST_F(DebugPanel, FirstLineOpensAndShowsThePanel)
{
    EXPECT_EQ(kv_util_dbg_panel(), -1);
    kv_util_dbg_printf("a=%d,", 1);
    const int panel = kv_util_dbg_panel();
    ASSERT_GT(panel, 0);
    EXPECT_TRUE(visible(panel));
    kv_util_dbg_printf("b=%s\n", "two");
    EXPECT_EQ(kv_util_dbg_panel(), panel);
    EXPECT_EQ(debug_text(panel), "a=1,b=two\n");
    EXPECT_TRUE(hl::popups().empty());
}

TEST_F(DebugPanel, LoadedPanelIsNotShownAgain)
{
    kv_util_dbg_printf("one\n");
    const int panel = kv_util_dbg_panel();
    HidePanel(panel);
    kv_util_dbg_printf("two\n");
    EXPECT_EQ(kv_util_dbg_panel(), panel);
    EXPECT_FALSE(visible(panel));
    EXPECT_EQ(debug_text(panel), "one\ntwo\n");
}

TEST_F(DebugPanel, LongLineIsCutToTheLineBuffer)
{
    const std::string longText(3000, 'd');
    kv_util_dbg_printf("%s", longText.c_str());
    EXPECT_EQ(debug_text(kv_util_dbg_panel()), std::string(KV_UTIL_DBG_LINE_SIZE - 1, 'd'));
}

TEST_F(DebugPanel, ClearButtonEmptiesTheText)
{
    kv_util_dbg_printf("something\n");
    const int panel = kv_util_dbg_panel();
    hl::click(panel, DEBUG_PANEL_CLEAR);
    hl::deliver();
    EXPECT_EQ(debug_text(panel), "");
    EXPECT_EQ(kv_util_dbg_panel(), panel);
    kv_util_dbg_printf("again");
    EXPECT_EQ(debug_text(panel), "again");
}

TEST_F(DebugPanel, OnlyCommitClears)
{
    kv_util_dbg_printf("keep");
    const int panel = kv_util_dbg_panel();
    for (int event : {EVENT_LEFT_CLICK, EVENT_RIGHT_DOUBLE_CLICK, EVENT_GOT_FOCUS})
        debugtext_service(panel, DEBUG_PANEL_CLEAR, event, nullptr, 0, 0);
    EXPECT_EQ(debug_text(panel), "keep");
}

TEST_F(DebugPanel, CloseButtonDiscardsAndTheNextLineReopens)
{
    kv_util_dbg_printf("before");
    const int panel = kv_util_dbg_panel();
    hl::click(panel, DEBUG_PANEL_CLOSE);
    hl::deliver();
    EXPECT_EQ(kv_util_dbg_panel(), -1);
    EXPECT_EQ(ui::panel(panel), nullptr);

    kv_util_dbg_printf("after");
    const int again = kv_util_dbg_panel();
    ASSERT_GT(again, 0);
    EXPECT_TRUE(visible(again));
    EXPECT_EQ(debug_text(again), "after");
}

TEST_F(DebugPanel, CallbackOpensThePanelFirst)
{
    // Any event reaching the callback while the panel is closed opens it.
    EXPECT_EQ(debugtext_service(0, DEBUG_PANEL_TEXT, EVENT_GOT_FOCUS, nullptr, 0, 0), 0);
    const int panel = kv_util_dbg_panel();
    ASSERT_GT(panel, 0);
    EXPECT_TRUE(visible(panel));
}

}  // namespace
