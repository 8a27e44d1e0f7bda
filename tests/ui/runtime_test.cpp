// Run time: pop-ups through the driver's script, buffers, the project folder,
// error strings, the timer, the wait cursor and beep.

#include "fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

using namespace uitest;
namespace hl = ui::headless;
namespace fs = std::filesystem;

namespace {

class Runtime : public UiTest {};

TEST_F(Runtime, PopupsWithoutScriptGetTheDefaults) {
    char buf[16] = "unchanged";
    char path[MAX_PATHNAME_LEN] = "unchanged";
    EXPECT_EQ(MessagePopup("Title", "Text"), 0);
    EXPECT_EQ(ConfirmPopup("Sure?", "Really?"), 0);
    EXPECT_LT(PromptPopup("Name", "Enter", buf, 15), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(FileSelectPopup("/tmp", "*.ini", "*.ini", "Load Profile", VAL_LOAD_BUTTON, 0, 0, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "");
    const auto& p = hl::popups();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].kind, hl::PopupRecord::Message);
    EXPECT_EQ(p[0].title, "Title");
    EXPECT_EQ(p[0].text, "Text");
    EXPECT_EQ(p[1].kind, hl::PopupRecord::Confirm);
    EXPECT_EQ(p[2].kind, hl::PopupRecord::Prompt);
    EXPECT_EQ(p[2].text, "Enter");
    EXPECT_EQ(p[3].kind, hl::PopupRecord::FileSelect);
    EXPECT_EQ(p[3].title, "Load Profile");
    EXPECT_EQ(p[3].text, "*.ini");
    EXPECT_EQ(p[3].defaultFile, "*.ini");
    EXPECT_EQ(p[3].directory, "/tmp");
    EXPECT_EQ(p[3].buttonLabel, VAL_LOAD_BUTTON);
    EXPECT_EQ(hl::lastPopupText(), "*.ini");
    hl::clearPopups();
    EXPECT_TRUE(hl::popups().empty());
    EXPECT_EQ(hl::lastPopupText(), "");
}

TEST_F(Runtime, ScriptedAnswersAreUsedInOrderPerKind) {
    hl::answerConfirm(true);
    hl::answerConfirm(false);
    hl::answerPrompt("first");
    hl::answerPromptCancel();
    hl::answerPrompt("third");
    EXPECT_EQ(ConfirmPopup("a", "b"), 1);
    char buf[32];
    EXPECT_EQ(PromptPopup("t", "p", buf, 31), 0);
    EXPECT_STREQ(buf, "first");
    EXPECT_EQ(ConfirmPopup("a", "b"), 0);
    EXPECT_EQ(PromptPopup("t", "p", buf, 31), UIE_USER_CANCEL);
    EXPECT_EQ(PromptPopup("t", "p", buf, 31), 0);
    EXPECT_STREQ(buf, "third");
    EXPECT_EQ(ConfirmPopup("a", "b"), 0);  // script used up: no
    hl::answerConfirm(true);
    hl::clearAnswers();
    EXPECT_EQ(ConfirmPopup("a", "b"), 0);
}

TEST_F(Runtime, PromptNeverWritesPastItsBuffer) {
    hl::answerPrompt("0123456789");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(PromptPopup("t", "p", buf, 4), 0);  // holds 5 bytes
    EXPECT_STREQ(buf, "0123");
    EXPECT_EQ(buf[5], '#');
    hl::answerPrompt("");
    EXPECT_EQ(PromptPopup("t", "p", buf, 0), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(PromptPopup("t", "p", nullptr, 4), UIE_BAD_ARGUMENT);
    EXPECT_EQ(PromptPopup("t", "p", buf, -1), UIE_BAD_ARGUMENT);
}

TEST_F(Runtime, FileSelectReportsExistingNewAndTooLongPaths) {
    const fs::path dir = fs::temp_directory_path() / ("imbench-ui-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string existing = (dir / "a.ini").string();
    std::ofstream(existing) << "x";
    const std::string fresh = (dir / "new.ini").string();
    hl::answerFile(existing);
    hl::answerFile(fresh);
    hl::answerFileCancel();
    hl::answerFile(existing);
    char path[MAX_PATHNAME_LEN];
    EXPECT_EQ(FileSelectPopup("", "", "*.ini", "t", VAL_LOAD_BUTTON, 0, 0, 1, 1, path), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(std::string(path), existing);
    EXPECT_EQ(FileSelectPopup("", "", "*.ini", "t", VAL_SAVE_BUTTON, 0, 0, 1, 1, path), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(std::string(path), fresh);
    EXPECT_EQ(FileSelectPopup("", "", "*.ini", "t", VAL_LOAD_BUTTON, 0, 0, 1, 1, path), VAL_NO_FILE_SELECTED);
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_LT(FileSelectPopup("", "", "*.ini", "t", VAL_LOAD_BUTTON, 0, 0, 1, 1, small, 7), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(small[7], '#');
    fs::remove_all(dir);
}

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_.empty())
            ::unsetenv(name_);
        else
            ::setenv(name_, old_.c_str(), 1);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    std::string old_;
};

TEST_F(Runtime, ProjectDirOverrideAndOverrun) {
    EnvGuard g("IMBENCH_PROJECT_DIR");
    ::setenv("IMBENCH_PROJECT_DIR", "/tmp/imbench-project", 1);
    char dir[MAX_PATHNAME_LEN];
    EXPECT_EQ(GetProjectDir(dir), 0);
    EXPECT_STREQ(dir, "/tmp/imbench-project");
    char small[10];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetProjectDir(small, sizeof small), UIE_BUFFER_TOO_SMALL);
    EXPECT_STREQ(small, "");
    const std::string longDir = "/tmp/" + std::string(MAX_PATHNAME_LEN, 'x');
    ::setenv("IMBENCH_PROJECT_DIR", longDir.c_str(), 1);
    EXPECT_EQ(GetProjectDir(dir), UIE_BUFFER_TOO_SMALL);
    ::unsetenv("IMBENCH_PROJECT_DIR");
    EXPECT_EQ(GetProjectDir(dir), 0);  // the test's own folder
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(GetProjectDir(nullptr), UIE_BAD_ARGUMENT);
}

TEST_F(Runtime, ProjectDirFallsBackToTheConfigFolder) {
    EnvGuard g1("IMBENCH_PROJECT_DIR"), g2("XDG_CONFIG_HOME"), g3("HOME");
    ::unsetenv("IMBENCH_PROJECT_DIR");
    const fs::path base = fs::temp_directory_path() / ("imbench-cfg-" + std::to_string(::getpid()));
    fs::remove_all(base);
    const std::string unwritable = "/nonexistent-imbench-dir/bin";
    const fs::path writable = base / "bin";
    fs::create_directories(writable);
    EXPECT_EQ(ui::projectDirFor(writable.string()), writable.string());

    ::setenv("XDG_CONFIG_HOME", (base / "xdg").c_str(), 1);
    EXPECT_EQ(ui::projectDirFor(unwritable), (base / "xdg" / "imbench").string());
    EXPECT_TRUE(fs::is_directory(base / "xdg" / "imbench"));

    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", (base / "home").c_str(), 1);
    EXPECT_EQ(ui::projectDirFor(unwritable), (base / "home" / ".config" / "imbench").string());
    EXPECT_TRUE(fs::is_directory(base / "home" / ".config" / "imbench"));

    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
    EXPECT_EQ(ui::projectDirFor(unwritable), (base / "home" / ".config" / "imbench").string());

    ::setenv("IMBENCH_PROJECT_DIR", "/override", 1);
    EXPECT_EQ(ui::projectDirFor(unwritable), "/override");
    fs::remove_all(base);
}

TEST(RuntimeCalls, ErrorStringsAreDistinct) {
    std::set<std::string> seen;
    const int codes[] = {UIE_NO_ERROR, UIE_NOT_INITIALIZED, UIE_BAD_PANEL, UIE_BAD_CONTROL, UIE_BAD_ATTRIBUTE,
                         UIE_TYPE_MISMATCH, UIE_INDEX_OUT_OF_RANGE, UIE_RESOURCE_NOT_FOUND, UIE_PANEL_NOT_FOUND,
                         UIE_CALLBACK_NOT_FOUND, UIE_VALUE_NOT_FOUND, UIE_BAD_MENU, UIE_BAD_PLOT,
                         UIE_BAD_ARGUMENT, UIE_USER_CANCEL, UIE_NOT_OPERABLE, UIE_BUFFER_TOO_SMALL,
                         UIE_WRONG_CTRL_KIND, -999};
    for (int c : codes) EXPECT_TRUE(seen.insert(GetUILErrorString(c)).second) << c;
}

TEST(RuntimeCalls, StartTimerAndErrorBreak) {
    EXPECT_EQ(InitCVIRTE(nullptr, nullptr, nullptr), 1);
    const double a = Timer();
    const double b = Timer();
    EXPECT_GE(a, 0.0);
    EXPECT_GE(b, a);
    const int before = SetBreakOnLibraryErrors(1);
    EXPECT_EQ(SetBreakOnLibraryErrors(0), 1);
    SetBreakOnLibraryErrors(1);
    EXPECT_EQ(LoadPanel(0, "nothing.uir", 1), UIE_RESOURCE_NOT_FOUND);  // reported, not fatal
    SetBreakOnLibraryErrors(before);
}

TEST_F(Runtime, WaitCursorAndBeepReachTheRenderer) {
    EXPECT_FALSE(hl::waitCursor());
    SetWaitCursor(1);
    EXPECT_TRUE(hl::waitCursor());
    SetWaitCursor(0);
    EXPECT_FALSE(hl::waitCursor());
    CVI_Beep();
    CVI_Beep();
    EXPECT_EQ(hl::beeps(), 2);
    ui::resetForTests();
    EXPECT_EQ(hl::beeps(), 0);
}

}  // namespace
