// "ifcPanel.uir": the progress window of the calibration transfer, one
// percentage read-out.
#pragma once

struct UiPanelDef;

enum { PROGRESS_PANEL = 7 };

enum {
    PROGRESS_PANEL_PERCENT = 1, // integer indicator 0..100, %
};

// The panel table, added to "ifcPanel.uir" by ifcPanel_register_resource().
UiPanelDef ifcPanel_progress_panel();
