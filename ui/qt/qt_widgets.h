// Access to the Qt renderer's widgets, for tests and benchmarks that drive
// them with real Qt input.
#pragma once

class QWidget;
class QMenuBar;

namespace ui::qt {

// The panel's top-level window, a control's widget and its label; nullptr
// when the panel or control is not shown by the Qt renderer.
QWidget* panelWindow(int panel);
QWidget* controlWidget(int panel, int control);
QWidget* labelWidget(int panel, int control);
QMenuBar* panelMenuBar(int panel);

} // namespace ui::qt
