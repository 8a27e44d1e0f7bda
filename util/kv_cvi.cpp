#include "util/kv_cvi.h"

#include "ui/toolkit.h"

#include <cstdarg>
#include <cstdio>

namespace {

char g_popup_text[KV_CVI_POPUP_SIZE];

} // namespace

void kv_cvi_panel_ctrl(int panel, int action)
{
    switch (action) {
    case KV_CVI_DISPLAY:
        DisplayPanel(panel);
        break;
    case KV_CVI_HIDE:
        HidePanel(panel);
        break;
    case KV_CVI_DISCARD:
        DiscardPanel(panel);
        break;
    default:
        break;
    }
}

void kv_cvi_ctrl_dimmed(int panel, int control, int on)
{
    SetCtrlAttribute(panel, control, ATTR_DIMMED, on == 1 ? 1 : 0);
}

void kv_cvi_ctrl_visible(int panel, int control, int on)
{
    SetCtrlAttribute(panel, control, ATTR_VISIBLE, on == 1 ? 1 : 0);
}

void kv_cvi_popup_printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_popup_text, sizeof g_popup_text, format, args);
    va_end(args);
    MessagePopup("Debug Popup", g_popup_text);
}
