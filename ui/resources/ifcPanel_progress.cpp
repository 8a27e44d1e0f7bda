#include "ui/resources/ifcPanel_progress.h"

#include "ui/resource.h"

UiPanelDef ifcPanel_progress_panel() {
    UiPanelDef p;
    p.id = PROGRESS_PANEL;
    p.title = "Calibration Data";
    p.top = 200;
    p.left = 200;
    p.width = 260;
    p.height = 76;

    UiCtrlDef percent =
        ui_ctrl(PROGRESS_PANEL_PERCENT, UiCtrlKind::Numeric, VAL_INTEGER, "Progress (%)", 32, 12, 26, 236);
    percent.min = 0;
    percent.max = 100;
    percent.precision = 0;
    percent.mode = VAL_INDICATOR;
    p.controls.push_back(percent);
    return p;
}
