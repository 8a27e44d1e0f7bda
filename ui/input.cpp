// User input as renderers and the headless driver apply it: only to what a
// user could operate, and with the coercion a user's entry gets.

#include "ui/model_internal.h"

namespace ui {

int userSetValue(int panel, int control, const Value& v) {
    if (int r = userCanOperate(panel, control); r < 0) return r;
    const Control* c = detail::findPanel(panel)->control(control);
    switch (c->kind) {
    case UiCtrlKind::Numeric:
    case UiCtrlKind::String:
    case UiCtrlKind::TextBox:
    case UiCtrlKind::Toggle:
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox:
        return setValue(panel, control, v, true);
    default:
        return UIE_WRONG_CTRL_KIND;
    }
}

int userSetIndex(int panel, int control, int index) {
    if (int r = userCanOperate(panel, control); r < 0) return r;
    return SetCtrlIndex(panel, control, index);
}

void userSetCursor(int panel, int control, double x, double y) {
    if (userCanOperate(panel, control) < 0) return;
    SetGraphCursor(panel, control, 1, x, y);
}

int userCanOperate(int panel, int control) {
    const Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    const Control* c = p->control(control);
    if (!c) return UIE_BAD_CONTROL;
    if (!p->visible || !c->visible || c->dimmed || c->mode == VAL_INDICATOR) return UIE_NOT_OPERABLE;
    return 0;
}

} // namespace ui
