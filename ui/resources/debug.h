// "debug.uir": the debug panel, a text box that collects debug lines with a
// clear and a close button.  All three controls call "debugtext_service".
#pragma once

enum { DEBUG_PANEL = 1 };

enum {
    DEBUG_PANEL_TEXT = 2, // text box receiving the debug lines
    DEBUG_PANEL_CLEAR = 3, // empties the text box
    DEBUG_PANEL_CLOSE = 4, // discards the panel
};

void debug_register_resource();
