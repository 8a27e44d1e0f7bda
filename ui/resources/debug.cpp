#include "ui/resources/debug.h"

#include "ui/resources/layout.h"

using namespace resources;

void debug_register_resource() {
    // clang-format off
    UiPanelDef panel{.id = DEBUG_PANEL, .title = "Debug", .top = 60, .left = 60, .height = 360, .width = 520,
        .controls = {
            {.id = DEBUG_PANEL_TEXT, .kind = K::TextBox, .top = 10, .left = 10, .height = 300, .width = 500,
                .callback = "debugtext_service", .mode = VAL_NORMAL},
            {.id = DEBUG_PANEL_CLEAR, .kind = K::Button, .label = "Clear", .top = 322, .left = 330, .height = kRow, .width = 80,
                .callback = "debugtext_service"},
            {.id = DEBUG_PANEL_CLOSE, .kind = K::Button, .label = "Close", .top = 322, .left = 430, .height = kRow, .width = 80,
                .callback = "debugtext_service"},
        }};
    // clang-format on
    ui_register_resource({.file = "debug.uir", .panels = {panel}});
}
