#include "ui/resources/debug.h"

#include "ui/resource.h"

void debug_register_resource() {
    UiPanelDef panel;
    panel.id = DEBUG_PANEL;
    panel.title = "Debug";
    panel.top = 60;
    panel.left = 60;
    panel.height = 360;
    panel.width = 520;

    UiCtrlDef text = ui_ctrl(DEBUG_PANEL_TEXT, UiCtrlKind::TextBox, VAL_STRING, "", 10, 10, 300, 500);
    text.mode = VAL_NORMAL;
    text.callback = "debugtext_service";

    UiCtrlDef clear = ui_ctrl(DEBUG_PANEL_CLEAR, UiCtrlKind::Button, VAL_NO_TYPE, "Clear", 322, 330, 26, 80);
    clear.callback = "debugtext_service";

    UiCtrlDef close = clear;
    close.id = DEBUG_PANEL_CLOSE;
    close.label = "Close";
    close.left = 430;

    panel.controls = {text, clear, close};

    UiResourceDef def;
    def.file = "debug.uir";
    def.panels = {panel};
    ui_register_resource(def);
}
