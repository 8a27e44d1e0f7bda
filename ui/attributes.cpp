// Control, panel and menu-bar attributes: which attribute a control kind
// has, what values it takes, and what the renderer is told when it changes.

#include "ui/model_internal.h"

#include <algorithm>
#include <cmath>

namespace ui {
namespace {

// ---- attributes -----------------------------------------------------------------------------

int needInt(const Value& v, int& out) {
    double d = 0;
    if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
    if (std::isnan(d)) return UIE_BAD_ARGUMENT;
    out = toInt(d);
    return 0;
}

int needText(const Value& v, std::string& out) {
    const std::string* s = std::get_if<std::string>(&v);
    if (!s) return UIE_TYPE_MISMATCH;
    out = *s;
    return 0;
}

// Top, left, height or width of a control or a panel; a negative size is refused.
template <class Placed>
int setGeometry(Placed& o, int attr, const Value& v) {
    int i = 0;
    if (int r = needInt(v, i); r < 0) return r;
    if ((attr == ATTR_HEIGHT || attr == ATTR_WIDTH) && i < 0) return UIE_BAD_ARGUMENT;
    (attr == ATTR_TOP ? o.top : attr == ATTR_LEFT ? o.left
            : attr == ATTR_HEIGHT                 ? o.height
                                                  : o.width) = i;
    return 0;
}

Axis& xAxis(Control& c) { return c.graph.axes[VAL_XAXIS]; }
Axis& yAxis(Control& c) { return c.graph.axes[VAL_LEFT_YAXIS]; }

// Which attribute exists for which kind of control.
bool attributeApplies(const Control& c, int attr) {
    switch (attr) {
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
    case ATTR_VISIBLE:
    case ATTR_DIMMED:
    case ATTR_CTRL_MODE:
    case ATTR_LABEL_TEXT:
    case ATTR_TEXT_COLOR:
    case ATTR_TEXT_BGCOLOR:
    case ATTR_DATA_TYPE:
    case ATTR_CTRL_KIND:
    case ATTR_TOOLTIP_TEXT:
        return true;
    case ATTR_PRECISION:
    case ATTR_INCR_VALUE:
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
        return c.kind == UiCtrlKind::Numeric;
    case ATTR_MAX_ENTRY_LENGTH:
        return c.kind == UiCtrlKind::String || c.kind == UiCtrlKind::TextBox;
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT:
        return c.kind == UiCtrlKind::Toggle;
    case ATTR_XNAME:
    case ATTR_YNAME:
    case ATTR_XMAP_MODE:
    case ATTR_YMAP_MODE:
    case ATTR_XREVERSE:
    case ATTR_YREVERSE:
    case ATTR_XGRID_VISIBLE:
    case ATTR_YGRID_VISIBLE:
    case ATTR_PLOT_BGCOLOR:
    case ATTR_NUM_PLOTS:
    case ATTR_EQUAL_SCALE:
        return c.kind == UiCtrlKind::Graph;
    default:
        return false;
    }
}

} // namespace

int setAttr(int panel, int control, int attr, const Value& v) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    if (!attributeApplies(*c, attr)) return UIE_BAD_ATTRIBUTE;
    int i = 0;
    double d = 0;
    std::string s;
    Change what = Change::Attributes;
    int r = 0;
    switch (attr) {
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
        if ((r = setGeometry(*c, attr, v)) < 0) return r;
        break;
    case ATTR_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        c->visible = i != 0;
        break;
    case ATTR_DIMMED:
        if ((r = needInt(v, i)) < 0) return r;
        c->dimmed = i != 0;
        break;
    case ATTR_CTRL_MODE:
        if ((r = needInt(v, i)) < 0) return r;
        if (i < VAL_INDICATOR || i > VAL_NORMAL) return UIE_BAD_ARGUMENT;
        c->mode = i;
        break;
    case ATTR_LABEL_TEXT:
        if ((r = needText(v, s)) < 0) return r;
        c->label = std::move(s);
        break;
    case ATTR_TOOLTIP_TEXT:
        if ((r = needText(v, s)) < 0) return r;
        c->tooltip = std::move(s);
        break;
    case ATTR_TEXT_COLOR:
        if ((r = needInt(v, c->textColor)) < 0) return r;
        break;
    case ATTR_TEXT_BGCOLOR:
        if ((r = needInt(v, c->bgColor)) < 0) return r;
        break;
    case ATTR_PRECISION:
        if ((r = needInt(v, i)) < 0) return r;
        if (!precisionInRange(i)) return UIE_BAD_ARGUMENT;
        c->precision = i;
        break;
    case ATTR_INCR_VALUE:
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        if (!std::isfinite(d)) return UIE_BAD_ARGUMENT;
        c->increment = d;
        break;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        if (std::isnan(d)) return UIE_BAD_ARGUMENT;
        (attr == ATTR_MIN_VALUE ? c->min : c->max) = d;
        if (double cur = 0; numberOf(c->value, cur)) c->value = numberFor(*c, cur);
        changed(panel, control, Change::Value);
        break;
    case ATTR_MAX_ENTRY_LENGTH:
        if ((r = needInt(v, i)) < 0) return r;
        if (i < -1) return UIE_BAD_ARGUMENT;
        c->maxEntryLength = std::max(i, 0); // -1 and 0: unlimited
        break;
    case ATTR_ON_TEXT:
        if ((r = needText(v, c->onText)) < 0) return r;
        break;
    case ATTR_OFF_TEXT:
        if ((r = needText(v, c->offText)) < 0) return r;
        break;
    case ATTR_XNAME:
    case ATTR_YNAME:
        if ((r = needText(v, s)) < 0) return r;
        (attr == ATTR_XNAME ? xAxis(*c) : yAxis(*c)).name = std::move(s);
        what = Change::Plots;
        break;
    case ATTR_XMAP_MODE:
    case ATTR_YMAP_MODE:
        if ((r = needInt(v, i)) < 0) return r;
        if (i != VAL_LINEAR && i != VAL_LOG) return UIE_BAD_ARGUMENT;
        (attr == ATTR_XMAP_MODE ? xAxis(*c) : yAxis(*c)).mapMode = i;
        what = Change::Plots;
        break;
    case ATTR_XREVERSE:
    case ATTR_YREVERSE:
        if ((r = needInt(v, i)) < 0) return r;
        (attr == ATTR_XREVERSE ? xAxis(*c) : yAxis(*c)).reverse = i != 0;
        what = Change::Plots;
        break;
    case ATTR_EQUAL_SCALE:
        if ((r = needInt(v, i)) < 0) return r;
        c->graph.equalScale = i != 0;
        what = Change::Plots;
        break;
    case ATTR_XGRID_VISIBLE:
    case ATTR_YGRID_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        (attr == ATTR_XGRID_VISIBLE ? xAxis(*c) : yAxis(*c)).gridVisible = i != 0;
        what = Change::Plots;
        break;
    case ATTR_PLOT_BGCOLOR:
        if ((r = needInt(v, c->graph.plotBgColor)) < 0) return r;
        what = Change::Plots;
        break;
    default: // read-only: data type, kind, number of plots
        return UIE_BAD_ATTRIBUTE;
    }
    changed(panel, control, what);
    return 0;
}

int getAttr(int panel, int control, int attr, Value& out) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    if (!attributeApplies(*c, attr)) return UIE_BAD_ATTRIBUTE;
    switch (attr) {
    case ATTR_TOP:
        out = c->top;
        break;
    case ATTR_LEFT:
        out = c->left;
        break;
    case ATTR_HEIGHT:
        out = c->height;
        break;
    case ATTR_WIDTH:
        out = c->width;
        break;
    case ATTR_VISIBLE:
        out = c->visible ? 1 : 0;
        break;
    case ATTR_DIMMED:
        out = c->dimmed ? 1 : 0;
        break;
    case ATTR_CTRL_MODE:
        out = c->mode;
        break;
    case ATTR_LABEL_TEXT:
        out = c->label;
        break;
    case ATTR_TOOLTIP_TEXT:
        out = tooltipText(*c);
        break;
    case ATTR_TEXT_COLOR:
        out = c->textColor;
        break;
    case ATTR_TEXT_BGCOLOR:
        out = c->bgColor;
        break;
    case ATTR_DATA_TYPE:
        out = c->dataType;
        break;
    case ATTR_CTRL_KIND:
        out = static_cast<int>(c->kind);
        break;
    case ATTR_PRECISION:
        out = c->precision;
        break;
    case ATTR_INCR_VALUE:
        out = c->increment;
        break;
    case ATTR_MIN_VALUE:
        out = c->min;
        break;
    case ATTR_MAX_VALUE:
        out = c->max;
        break;
    case ATTR_MAX_ENTRY_LENGTH:
        out = c->maxEntryLength;
        break;
    case ATTR_ON_TEXT:
        out = c->onText;
        break;
    case ATTR_OFF_TEXT:
        out = c->offText;
        break;
    case ATTR_XNAME:
        out = xAxis(*c).name;
        break;
    case ATTR_YNAME:
        out = yAxis(*c).name;
        break;
    case ATTR_XMAP_MODE:
        out = xAxis(*c).mapMode;
        break;
    case ATTR_YMAP_MODE:
        out = yAxis(*c).mapMode;
        break;
    case ATTR_XREVERSE:
        out = xAxis(*c).reverse ? 1 : 0;
        break;
    case ATTR_YREVERSE:
        out = yAxis(*c).reverse ? 1 : 0;
        break;
    case ATTR_EQUAL_SCALE:
        out = c->graph.equalScale ? 1 : 0;
        break;
    case ATTR_XGRID_VISIBLE:
        out = xAxis(*c).gridVisible ? 1 : 0;
        break;
    case ATTR_YGRID_VISIBLE:
        out = yAxis(*c).gridVisible ? 1 : 0;
        break;
    case ATTR_PLOT_BGCOLOR:
        out = c->graph.plotBgColor;
        break;
    case ATTR_NUM_PLOTS:
        out = static_cast<int>(c->graph.plots.size());
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

int setPanelAttr(int panel, int attr, const Value& v) {
    Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    int i = 0;
    int r = 0;
    switch (attr) {
    case ATTR_TITLE:
        if ((r = needText(v, p->title)) < 0) return r;
        break;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
        if ((r = setGeometry(*p, attr, v)) < 0) return r;
        break;
    case ATTR_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        p->visible = i != 0;
        break;
    case ATTR_SCALE_CONTENTS_ON_RESIZE:
        if ((r = needInt(v, i)) < 0) return r;
        p->scaleContents = i != 0 ? 1 : 0;
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    renderer()->panelChanged(panel);
    return 0;
}

int getPanelAttr(int panel, int attr, Value& out) {
    const Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    switch (attr) {
    case ATTR_TITLE:
        out = p->title;
        break;
    case ATTR_TOP:
        out = p->top;
        break;
    case ATTR_LEFT:
        out = p->left;
        break;
    case ATTR_HEIGHT:
        out = p->height;
        break;
    case ATTR_WIDTH:
        out = p->width;
        break;
    case ATTR_VISIBLE:
        out = p->visible ? 1 : 0;
        break;
    case ATTR_SCALE_CONTENTS_ON_RESIZE:
        out = p->scaleContents;
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

// A menu item, or else a whole menu, by id.
int menuEntry(int menuBar, int id, bool*& dimmed, bool*& visible) {
    MenuBar* mb = detail::findMenuBar(menuBar);
    if (!mb) return UIE_BAD_MENU;
    for (auto& m : mb->menus)
        for (auto& item : m.items)
            if (item.id == id) {
                dimmed = &item.dimmed;
                visible = &item.visible;
                return 0;
            }
    for (auto& m : mb->menus)
        if (m.id == id) {
            dimmed = &m.dimmed;
            visible = &m.visible;
            return 0;
        }
    return UIE_BAD_MENU;
}

} // namespace ui
