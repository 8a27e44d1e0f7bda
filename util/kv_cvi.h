// One-line helpers around the toolkit: panel show/hide/discard, dimming and
// hiding controls, and a formatted message pop-up.
#pragma once

#include <cstddef>

// The formatted text of kv_cvi_popup_printf is cut to fit this buffer.
constexpr std::size_t KV_CVI_POPUP_SIZE = 512;

enum { KV_CVI_DISPLAY = 0,
    KV_CVI_HIDE = 1,
    KV_CVI_DISCARD = 2 };

// action 0 displays, 1 hides, 2 discards the panel; any other action does nothing.
void kv_cvi_panel_ctrl(int panel, int action);
// Only on == 1 dims (shows); any other value un-dims (hides).
void kv_cvi_ctrl_dimmed(int panel, int control, int on);
void kv_cvi_ctrl_visible(int panel, int control, int on);
// MessagePopup titled "Debug Popup" with the formatted text.
void kv_cvi_popup_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
