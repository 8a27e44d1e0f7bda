// One toolkit panel as a top-level Qt window: a widget per control, kept in
// step with the model, and user input turned into toolkit events.
#pragma once

#include "ui/model.h"

#include <QWidget>

#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class QMenuBar;

namespace ui::qt {

class PanelWindow : public QWidget {
public:
    explicit PanelWindow(int handle);

    int handle() const { return handle_; }
    int menuBarHandle() const { return menuBarHandle_; }
    // Model -> widgets.  None of these posts a toolkit event.
    void syncPanel();
    void syncControl(int id, Change what);
    void syncMenuBar();
    // The control's widget, or nullptr (tests and benchmarks drive it).
    QWidget* controlWidget(int id) const;
    QWidget* labelWidget(int id) const;
    QMenuBar* qmenuBar() const { return menuBar_; }
    // Says at the control why the user's entry was not taken.
    void showRefusal(int id, const std::string& why);

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct View {
        int id = 0;
        UiCtrlKind kind = UiCtrlKind::Numeric;
        QWidget* widget = nullptr;
        QWidget* label = nullptr;
        // text boxes: what the widget shows of the model's lines
        std::size_t shownLines = 0;
        std::uint64_t shownRewrite = 0;
        std::string shownLast;
    };

    void createControl(const Control& c);
    void applyValue(View& v, const Control& c);
    void applyItems(View& v, const Control& c);
    void applyAttributes(View& v, const Control& c);
    void applyTextBox(View& v, const Control& c);
    void placeLabel(View& v, const Control& c);
    // Where a control sits: its model rectangle, grown or moved by the room a
    // resized window gives its graphs.
    QRect placed(const Control& c) const;
    const Control* model(int id) const;
    // A user change went into the model: VAL_CHANGED when it changed, then
    // COMMIT for hot controls unless commit is false.
    void userChanged(int id, bool changed, bool commit = true);
    // A value the user entered: into the model, then its events.
    void userEntered(int id, const Value& v, bool commit = true);
    void watch(QWidget* w, int id);
    void keepOnScreen();

    int handle_;
    int menuBarHandle_ = 0;
    QMenuBar* menuBar_ = nullptr;
    QWidget* canvas_;
    std::vector<View> views_;
    std::unordered_map<int, std::size_t> byId_;
    std::unordered_map<const QObject*, int> watched_; // widget -> control id
    bool syncing_ = false; // model -> widget in progress
    int placedLeft_ = INT_MIN, placedTop_ = INT_MIN; // the position last taken from the model
    int placedWidth_ = -1, placedHeight_ = -1; // likewise the size of a sizable window
    // The last mouse event seen: an event a child ignores reaches its parent
    // too, and must not make a second toolkit event.
    const QEvent* lastEvent_ = nullptr;
    quint64 lastStamp_ = 0;
};

} // namespace ui::qt
