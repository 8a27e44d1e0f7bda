#include "ui/resources/debug.h"

#include "ui/resource.h"

void debug_register_resource()
{
    UiPanelDef panel;
    panel.id = DEBUG_PANEL;
    panel.title = "Debug";
    panel.top = 60;
    panel.left = 60;
    panel.height = 360;
    panel.width = 520;

    UiCtrlDef text;
    text.id = DEBUG_PANEL_TEXT;
    text.kind = UiCtrlKind::TextBox;
    text.dataType = VAL_STRING;
    text.top = 10;
    text.left = 10;
    text.height = 300;
    text.width = 500;
    text.mode = VAL_NORMAL;
    text.callback = "debugtext_service";

    UiCtrlDef clear;
    clear.id = DEBUG_PANEL_CLEAR;
    clear.kind = UiCtrlKind::Button;
    clear.dataType = VAL_NO_TYPE;
    clear.label = "Clear";
    clear.top = 322;
    clear.left = 330;
    clear.height = 26;
    clear.width = 80;
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
