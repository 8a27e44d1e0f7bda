// The headless driver: the renderer in force unless another is installed.

#include "ui/headless.h"

#include "ui/internal.h"

#include <deque>

namespace ui::headless {
namespace {

// deliver() gives up after this many rounds, so callbacks that keep posting
// events to each other cannot hang a test.
constexpr int kMaxDeliverRounds = 100000;

struct Script {
    std::deque<std::optional<std::string>> files; // nullopt: cancel
    std::deque<bool> confirms;
    std::deque<std::optional<std::string>> prompts; // nullopt: cancel
    std::vector<PopupRecord> records;
    int beeps = 0;
    bool waitCursor = false;
};

Script& script() {
    static Script s;
    return s;
}

void record(PopupRecord::Kind kind, const std::string& title, const std::string& text, bool error = false) {
    PopupRecord r{kind, title, text, {}, {}, 0, error};
    script().records.push_back(std::move(r));
}

class Driver final : public Renderer {
public:
    // No window system to collect from: just wait for input from other threads.
    void pump(int maxWaitMs) override {
        if (maxWaitMs > 0) waitForInput(maxWaitMs);
    }

    void messagePopup(const std::string& title, const std::string& text) override {
        record(PopupRecord::Message, title, text);
    }

    void errorPopup(const std::string& title, const std::string& text) override {
        record(PopupRecord::Message, title, text, true);
    }

    bool confirmPopup(const std::string& title, const std::string& text) override {
        Script& s = script();
        record(PopupRecord::Confirm, title, text);
        if (s.confirms.empty()) return false;
        const bool yes = s.confirms.front();
        s.confirms.pop_front();
        return yes;
    }

    PromptResult promptPopup(const std::string& title, const std::string& text, int maxLength) override {
        Script& s = script();
        record(PopupRecord::Prompt, title, text);
        if (s.prompts.empty()) return {false, {}};
        std::optional<std::string> answer = std::move(s.prompts.front());
        s.prompts.pop_front();
        if (!answer) return {false, {}};
        // The user cannot type more than the field takes.
        if (maxLength >= 0 && answer->size() > static_cast<std::size_t>(maxLength))
            answer->resize(static_cast<std::size_t>(maxLength));
        return {true, std::move(*answer)};
    }

    std::optional<std::string> fileSelectPopup(const std::string& directory, const std::string& defaultFile,
        const std::string& filter, const std::string& title,
        int buttonLabel, bool /*allowCancel*/,
        bool /*allowMakeDirectory*/) override {
        Script& s = script();
        s.records.push_back({PopupRecord::FileSelect, title, filter, defaultFile, directory, buttonLabel});
        if (s.files.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(s.files.front());
        s.files.pop_front();
        return answer;
    }

    void inputRefused(int /*panel*/, int /*control*/, const std::string& why) override {
        record(PopupRecord::Refused, {}, why);
    }

    void setWaitCursor(bool on) override { script().waitCursor = on; }
    void beep() override { ++script().beeps; }
};

Driver& driver() {
    static Driver d;
    return d;
}

const Control* operableControl(int panel, int control, int& r) {
    r = userCanOperate(panel, control);
    return r < 0 ? nullptr : ui::panel(panel)->control(control);
}

// Mouse clicks reach any shown, undimmed control, indicators included (as in
// the window system); only changing a value needs an operable control.
const Control* clickableControl(int panel, int control, int& r) {
    const Panel* p = ui::panel(panel);
    const Control* c = p ? p->control(control) : nullptr;
    if (!p)
        r = UIE_BAD_PANEL;
    else if (!c)
        r = UIE_BAD_CONTROL;
    else if (!p->visible || !c->visible || c->dimmed)
        r = UIE_NOT_OPERABLE;
    else
        r = 0;
    return r < 0 ? nullptr : c;
}

// VAL_CHANGED when the user changed the value, then COMMIT if the control is hot.
void postChange(int panel, int control, bool changed) {
    const Panel* p = ui::panel(panel);
    const Control* c = p ? p->control(control) : nullptr;
    if (!c) return;
    if (changed) postEvent(panel, control, EVENT_VAL_CHANGED);
    if (c->mode == VAL_HOT) postEvent(panel, control, EVENT_COMMIT);
}

struct Snapshot {
    Value value;
    int index;
    explicit Snapshot(const Control& c) : value(detail::currentValue(c)), index(c.index) { }
    bool operator==(const Snapshot&) const = default;
};

} // namespace

void answerFile(const std::string& path) { script().files.emplace_back(path); }
void answerFileCancel() { script().files.emplace_back(std::nullopt); }
void answerConfirm(bool yes) { script().confirms.push_back(yes); }
void answerPrompt(const std::string& text) { script().prompts.emplace_back(text); }
void answerPromptCancel() { script().prompts.emplace_back(std::nullopt); }
void clearAnswers() {
    Script& s = script();
    s.files.clear();
    s.confirms.clear();
    s.prompts.clear();
}

const std::vector<PopupRecord>& popups() { return script().records; }
void clearPopups() { script().records.clear(); }
std::string lastPopupText() { return script().records.empty() ? std::string() : script().records.back().text; }

int commit(int panel, int control, const Value& v) {
    int r = 0;
    const Control* c = operableControl(panel, control, r);
    if (!c) return r;
    const Snapshot before(*c);
    if ((r = userSetValue(panel, control, v)) < 0) return r;
    postChange(panel, control, !(Snapshot(*ui::panel(panel)->control(control)) == before));
    return 0;
}

int commitIndex(int panel, int control, int index) {
    int r = 0;
    const Control* c = operableControl(panel, control, r);
    if (!c) return r;
    const Snapshot before(*c);
    if ((r = userSetIndex(panel, control, index)) < 0) return r;
    postChange(panel, control, !(Snapshot(*ui::panel(panel)->control(control)) == before));
    return 0;
}

int click(int panel, int control) {
    int r = 0;
    const Control* c = clickableControl(panel, control, r);
    if (!c) return r;
    const UiCtrlKind kind = c->kind;
    const int mode = c->mode;
    postEvent(panel, control, EVENT_LEFT_CLICK);
    if (mode == VAL_INDICATOR) return 0;
    if (kind == UiCtrlKind::Toggle) {
        const int on = std::get<int>(c->value);
        if ((r = userSetValue(panel, control, on ? 0 : 1)) < 0) return r;
        postChange(panel, control, true);
    } else if (kind == UiCtrlKind::Button && mode == VAL_HOT) {
        postEvent(panel, control, EVENT_COMMIT);
    }
    return 0;
}

int rightDoubleClick(int panel, int control) {
    int r = 0;
    if (!clickableControl(panel, control, r)) return r;
    postEvent(panel, control, EVENT_RIGHT_DOUBLE_CLICK);
    return 0;
}

int clickGraph(int panel, int control, double x, double y) {
    int r = 0;
    const Control* c = operableControl(panel, control, r);
    if (!c) return r;
    if (c->kind != UiCtrlKind::Graph) return UIE_WRONG_CTRL_KIND;
    const int mode = c->mode;
    userSetCursor(panel, control, x, y);
    postEvent(panel, control, EVENT_LEFT_CLICK);
    if (mode == VAL_HOT) postEvent(panel, control, EVENT_COMMIT);
    return 0;
}

int closePanel(int panel) {
    const Panel* p = ui::panel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!p->visible) return UIE_NOT_OPERABLE;
    postEvent(panel, 0, EVENT_CLOSE);
    return 0;
}

int pickMenu(int menuBar, int menuItem) {
    const MenuBar* mb = ui::menuBar(menuBar);
    if (!mb) return UIE_BAD_MENU;
    const Panel* p = ui::panel(mb->panel);
    if (!p || !p->visible) return UIE_NOT_OPERABLE;
    for (const auto& m : mb->menus)
        for (const auto& item : m.items)
            if (item.id == menuItem) {
                if (item.separator || item.dimmed || !item.visible || m.dimmed || !m.visible) return UIE_NOT_OPERABLE;
                postMenuEvent(menuBar, menuItem);
                return 0;
            }
    return UIE_BAD_MENU;
}

void pressKey(int key) { postKey(key); }

void deliver() {
    for (int i = 0; i < kMaxDeliverRounds && eventsPending(); ++i) ProcessSystemEvents();
}

int beeps() { return script().beeps; }
bool waitCursor() { return script().waitCursor; }

} // namespace ui::headless

namespace ui::detail {

Renderer* headlessRenderer() { return &headless::driver(); }

void resetHeadless() {
    headless::clearAnswers();
    headless::clearPopups();
    headless::script().beeps = 0;
    headless::script().waitCursor = false;
}

} // namespace ui::detail
