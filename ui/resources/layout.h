// Layout shared by the application's panel tables (private to this folder).
// Labels sit above their controls; a row of entries, rings, toggles and
// read-outs is kRow high, and a panel keeps kMargin from its edges.
#pragma once

#include "ui/resource.h"

namespace resources {

using K = UiCtrlKind;

constexpr int kMargin = 12;
constexpr int kRow = 26;

// Left edge of column n of equal columns that start at the margin.
constexpr int column(int n, int width, int gap) { return kMargin + n * (width + gap); }

} // namespace resources
