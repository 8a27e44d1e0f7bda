#include "ui/resources/ifcPanel_progress.h"

#include "ui/resources/layout.h"

using namespace resources;

UiPanelDef ifcPanel_progress_panel() {
    // clang-format off
    return {.id = PROGRESS_PANEL, .title = "Calibration Data", .top = 200, .left = 200, .height = 76, .width = 260,
        .controls = {
            {.id = PROGRESS_PANEL_PERCENT, .label = "Progress (%)", .top = 32, .left = 12, .height = kRow, .width = 236,
                .min = 0, .max = 100, .precision = 0, .mode = VAL_INDICATOR},
        }};
    // clang-format on
}
