// The panel helpers, the pop-up and key wrappers and the debug panel, on the headless driver.
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/debug.h"
#include "util/kv_cvi.h"
#include "util/kv_util.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

namespace hl = ui::headless;

TEST(KvCvi, HelpersPopupsKeysAndTheDebugPanel) {
    ui::resetForTests();
    ui_register_resource(UiResourceDef{"p.uir", {UiPanelDef{.id = 1, .controls = {{.id = 2}}}}});
    std::vector<int> states; // per action, from hidden and from shown: 0 gone, 1 hidden, 2 shown
    for (int action : {0, 1, 2, 3, -1})
        for (int before : {0, 1}) {
            const int p = LoadPanel(0, "p.uir", 1);
            SetPanelAttribute(p, ATTR_VISIBLE, before), kv_cvi_panel_ctrl(p, action), states.push_back(ui::panel(p) ? ui::panel(p)->visible + 1 : 0);
        }
    EXPECT_EQ(states, (std::vector{2, 2, 1, 1, 0, 0, 1, 2, 1, 2}));
    states.clear(); // only 1 dims and shows
    const ui::Control* c = ui::panel(1)->control(2);
    for (int on : {1, 0, 2, -1, 1, 7}) kv_cvi_ctrl_dimmed(1, 2, on), kv_cvi_ctrl_visible(1, 2, on), states.push_back(c->dimmed + 2 * c->visible);
    EXPECT_EQ(states, (std::vector{3, 0, 0, 0, 3, 0}));
    kv_cvi_popup_printf("x=%d y=%s", 5, "ab"), kv_cvi_popup_printf("%s!", std::string(2000, 'q').c_str());
    hl::answerConfirm(true), hl::answerPrompt("abcdefghij"), hl::answerPromptCancel();
    hl::answerFile("/tmp/a.ini"), hl::answerFile("/" + std::string(KV_UTIL_PATH_SIZE - 1, 'p')); // one too long
    char buf[8] = "#######";
    EXPECT_EQ((std::vector{kv_util_popup_ask4yesno("Q", "yes?"), kv_util_popup_ask4yesno("Q", "no?"),
                  kv_util_popup_gets("T", "Name?", buf, 5), kv_util_popup_gets("T", "Name?", buf + 5, 3),
                  kv_util_popup_gets("T", "Name?", buf, 0)}),
        (std::vector{1, 0, 4, 0, 0}));
    EXPECT_EQ(std::string(buf, 7), std::string("abcd\0\0#", 7)); // at most size - 1; emptied when cancelled
    EXPECT_STREQ(kv_util_popup_getfile("Load Profile", "default.ini", "*.ini"), "/tmp/a.ini");
    EXPECT_EQ(kv_util_popup_getfile("Save", "", "*.dat"), nullptr);
    const auto& p = hl::popups();
    ASSERT_EQ(p.size(), 8u); // the empty buffer asks nothing
    EXPECT_EQ(p[0].title + p[0].text + "|" + p[1].text, "Debug Popupx=5 y=ab|" + std::string(KV_CVI_POPUP_SIZE - 1, 'q'));
    EXPECT_EQ(p[6].title + p[6].text + p[6].defaultFile + std::to_string(p[6].buttonLabel), "Load Profile*.inidefault.ini2");
    for (auto [key, code] : {std::pair<int, int>{VAL_BACKSPACE_VKEY, 8}, {VAL_DELETE_VKEY, 8}, {VAL_ESC_VKEY, 27},
             {VAL_TAB_VKEY, 9}, {VAL_ENTER_VKEY, 13}, {'a', 'a'}, {0x600, 0x600}}) {
        hl::pressKey(key);
        EXPECT_EQ((std::vector{kv_util_kbhit(), kv_util_getchar(), kv_util_kbhit()}), (std::vector{1, code, 0})) << key;
    }
    kv_util_dbg_printf("lost %d", 1), kv_util_dbg_printf("lost %d", 2); // no debug panel to load: said each time
    ASSERT_EQ((std::vector{kv_util_dbg_panel(), int(p.size())}), (std::vector{-1, 10}));
    EXPECT_EQ(p.back().title + p.back().text, "Open Debug Panel       FAIL!");
    debug_register_resource(), kv_util_register_callbacks();
    kv_util_dbg_printf("a=%d,", 1), kv_util_dbg_printf("%s", std::string(3000, 'd').c_str());
    int dbg = kv_util_dbg_panel();
    auto shown = [&] { std::string s; GetCtrlVal(dbg, DEBUG_PANEL_TEXT, &s); return s + (ui::panel(dbg)->visible ? "+" : "-"); };
    const std::string lines = "a=1," + std::string(KV_UTIL_DBG_LINE_SIZE - 1, 'd'); // a long line is cut
    EXPECT_EQ(shown(), lines + "+");
    HidePanel(dbg), debugtext_service(dbg, DEBUG_PANEL_CLEAR, EVENT_LEFT_CLICK, nullptr, 0, 0), kv_util_dbg_printf("\n");
    EXPECT_EQ(shown(), lines + "\n-"); // a click does not clear; a loaded panel is not shown again
    DisplayPanel(dbg), hl::click(dbg, DEBUG_PANEL_CLEAR), hl::deliver();
    EXPECT_EQ(shown(), "+");
    hl::click(dbg, DEBUG_PANEL_CLOSE), hl::deliver();
    EXPECT_EQ((std::vector{kv_util_dbg_panel(), int(ui::panel(dbg) != nullptr)}), (std::vector{-1, 0}));
    kv_util_dbg_printf("after"); // opens it again
    EXPECT_NE(std::exchange(dbg, kv_util_dbg_panel()), kv_util_dbg_panel());
    EXPECT_EQ(shown(), "after+");
}

} // namespace
