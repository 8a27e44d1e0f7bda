#include "ui/qt/panel_window.h"

#include "ui/qt/graph_view.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <cmath>

namespace ui::qt {

namespace {

constexpr int kLedOn = 0xFF2020;
constexpr int kLedOff = 0x404040;
constexpr int kTextGap = 2; // pixels between a list column's start and its text
constexpr const char* kFollowEnd = "imbenchFollowEnd"; // a text box follows its newest line

QColor rgb(int c) { return QColor::fromRgb(static_cast<QRgb>(c & 0xFFFFFF)); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

// A ring shows its items on one line: the column pieces joined by a space.
QString plainLabel(const std::string& label) {
    QString out;
    for (const LabelPiece& p : splitColumns(label)) {
        if (!out.isEmpty() && !p.text.empty()) out += QLatin1Char(' ');
        out += qs(p.text);
    }
    return out;
}

void paintColumns(QPainter& p, const QRect& r, const std::string& label, int flags) {
    for (const LabelPiece& piece : splitColumns(label)) {
        if (piece.text.empty()) continue;
        const QRect cell(r.left() + piece.x + kTextGap, r.top(), std::max(0, r.width() - piece.x - kTextGap), r.height());
        p.drawText(cell, flags | Qt::TextSingleLine, qs(piece.text));
    }
}

// A control's label; the column escape places pieces of it (a list box's
// header line lines up with its columns).
class ColumnLabel : public QWidget {
public:
    ColumnLabel(const std::string& text, QWidget* parent) : QWidget(parent), text_(text) { }
    void setText(const std::string& text) {
        text_ = text;
        update();
    }
    const std::string& text() const { return text_; }
    int textWidth() const {
        int w = 0;
        for (const LabelPiece& p : splitColumns(text_))
            w = std::max(w, p.x + kTextGap + fontMetrics().horizontalAdvance(qs(p.text)));
        return w;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        paintColumns(p, rect().adjusted(-kTextGap, 0, 0, 0), text_, Qt::AlignLeft | Qt::AlignVCenter);
    }

private:
    std::string text_;
};

// List box rows: each column piece drawn at its pixel offset.
class ColumnDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const std::string label = index.data(Qt::UserRole).toString().toStdString();
        opt.text.clear();
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : nullptr;
        if (style) style->drawControl(QStyle::CE_ItemViewItem, &opt, p, w);
        p->save();
        const bool selected = opt.state & QStyle::State_Selected;
        p->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Active : QPalette::Disabled,
            selected ? QPalette::HighlightedText : QPalette::Text));
        paintColumns(*p, opt.rect, label, Qt::AlignLeft | Qt::AlignVCenter);
        p->restore();
    }
};

class Led : public QWidget {
public:
    explicit Led(QWidget* parent) : QWidget(parent) { }
    void setOn(bool on) {
        if (on_ == on) return;
        on_ = on;
        update();
    }
    bool isOn() const { return on_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int d = std::max(4, std::min(width(), height()) - 2);
        const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
        QColor c = rgb(on_ ? kLedOn : kLedOff);
        if (!isEnabled()) c = c.lighter(160);
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
        p.setBrush(c);
        p.drawEllipse(r);
    }

private:
    bool on_ = false;
};

// Kinds whose widget would change its own state on a click or key; as
// indicators they get the mouse events but not the input.
bool blocksInputAsIndicator(UiCtrlKind k) {
    return k == UiCtrlKind::Numeric || k == UiCtrlKind::String || k == UiCtrlKind::Toggle ||
        k == UiCtrlKind::Button || k == UiCtrlKind::Ring || k == UiCtrlKind::ListBox;
}

// Spin boxes take any number typed, so that the model can refuse one outside
// the control's range and say so, instead of the box silently dropping the
// keys ("-5" becoming 5); the arrows stay inside the range.
template <class Base>
class RangeSpin : public Base {
public:
    using Base::Base;
    void setModelRange(double lo, double hi) { lo_ = lo, hi_ = hi; }
    void stepBy(int steps) override {
        const double v = std::clamp(this->value() + steps * static_cast<double>(this->singleStep()), lo_, hi_);
        this->setValue(static_cast<decltype(this->value())>(v));
        this->selectAll();
    }

protected:
    typename Base::StepEnabled stepEnabled() const override {
        if (this->isReadOnly()) return Base::StepNone;
        typename Base::StepEnabled e = Base::StepNone;
        if (this->value() > lo_) e |= Base::StepDownEnabled;
        if (this->value() < hi_) e |= Base::StepUpEnabled;
        return e;
    }

private:
    double lo_ = 0.0, hi_ = 0.0;
};
using IntSpin = RangeSpin<QSpinBox>;
using DoubleSpin = RangeSpin<QDoubleSpinBox>;

// What a spin box accepts as typed: far enough past any bound that a wrong
// entry reaches the model whole.
constexpr double kTypedBound = 1e12;

bool hasOwnLabel(UiCtrlKind k) {
    return k != UiCtrlKind::TextMsg && k != UiCtrlKind::Toggle && k != UiCtrlKind::Button &&
        k != UiCtrlKind::Decoration;
}

// Button texts are shown as written: Qt would take an "&" for a mnemonic mark.
QString buttonText(const std::string& t) {
    return qs(t).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString toggleText(const Control& c, bool on) {
    const std::string& t = on ? c.onText : c.offText;
    return buttonText(t.empty() ? c.label : t);
}

int asInt(const Value& v) {
    if (const int* i = std::get_if<int>(&v)) return *i;
    if (const double* d = std::get_if<double>(&v)) return static_cast<int>(std::lround(*d));
    return 0;
}

double asDouble(const Value& v) {
    if (const int* i = std::get_if<int>(&v)) return *i;
    if (const double* d = std::get_if<double>(&v)) return *d;
    return 0.0;
}

std::string asText(const Value& v) {
    if (const std::string* s = std::get_if<std::string>(&v)) return *s;
    return {};
}

std::string joined(const std::vector<std::string>& lines, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (i > from) out += '\n';
        out += lines[i];
    }
    return out;
}

} // namespace

PanelWindow::PanelWindow(int handle) : QWidget(nullptr), handle_(handle), canvas_(new QWidget(this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    const Panel* p = ui::panel(handle);
    // A window of fixed size has nothing to maximize.
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    if (p && p->sizable) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    if (!p) return;
    for (const Control& c : p->controls) createControl(c);
    // Frames sit behind the controls they group.
    for (const View& v : views_)
        if (v.kind == UiCtrlKind::Decoration) v.widget->lower();
    syncMenuBar();
    syncPanel();
}

const Control* PanelWindow::model(int id) const {
    const Panel* p = ui::panel(handle_);
    return p ? p->control(id) : nullptr;
}

QWidget* PanelWindow::controlWidget(int id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : views_[it->second].widget;
}

QWidget* PanelWindow::labelWidget(int id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : views_[it->second].label;
}

void PanelWindow::watch(QWidget* w, int id) {
    w->installEventFilter(this);
    watched_[w] = id;
    for (QWidget* child : w->findChildren<QWidget*>()) {
        child->installEventFilter(this);
        watched_[child] = id;
    }
}

void PanelWindow::userChanged(int id, bool changed, bool commit) {
    const Control* c = model(id);
    if (!c) return;
    if (changed) ui::postEvent(handle_, id, EVENT_VAL_CHANGED);
    if (commit && c->mode == VAL_HOT) ui::postEvent(handle_, id, EVENT_COMMIT);
}

void PanelWindow::userEntered(int id, const Value& v, bool commit) {
    const Control* m = model(id);
    const Value before = m ? m->value : Value{};
    if (ui::userSetValue(handle_, id, v) < 0) {
        // A refused entry: the widget goes back to what the model holds.
        auto it = byId_.find(id);
        if (m && it != byId_.end()) {
            syncing_ = true;
            applyValue(views_[it->second], *m);
            syncing_ = false;
        }
        return;
    }
    m = model(id);
    userChanged(id, m && !(m->value == before), commit);
}

void PanelWindow::showRefusal(int id, const std::string& why) {
    QWidget* w = controlWidget(id);
    if (!w) return;
    QApplication::beep();
    QToolTip::showText(w->mapToGlobal(QPoint(0, w->height())), qs(why), w, QRect(), 6000);
}

QRect PanelWindow::placed(const Control& c) const {
    const QRect own(c.left, c.top, c.width, c.height);
    const Panel* p = ui::panel(handle_);
    if (!p || !p->sizable) return own;
    const int dw = std::max(0, canvas_->width() - p->width), dh = std::max(0, canvas_->height() - p->height);
    if (dw == 0 && dh == 0) return own;
    // Graphs one above the other share the extra height in order; everything
    // right of a graph moves right, everything below one moves down by what
    // the graphs above it grew.
    std::vector<const Control*> graphs;
    for (const Control& g : p->controls)
        if (g.kind == UiCtrlKind::Graph && g.visible) graphs.push_back(&g);
    if (graphs.empty()) return own;
    std::sort(graphs.begin(), graphs.end(), [](const Control* a, const Control* b) { return a->top < b->top; });
    const int n = static_cast<int>(graphs.size());
    auto growth = [&](int k) { return dh * (k + 1) / n - dh * k / n; };
    auto above = [&](int k) { return dh * k / n; };
    for (int k = 0; k < n; ++k)
        if (graphs[static_cast<std::size_t>(k)] == &c) return own.adjusted(0, above(k), dw, above(k) + growth(k));
    int down = 0, right = 0;
    for (int k = 0; k < n; ++k) {
        const Control& g = *graphs[static_cast<std::size_t>(k)];
        if (g.top + g.height <= c.top) down += growth(k);
        if (g.left + g.width <= c.left) right = dw;
    }
    return own.translated(right, down);
}

void PanelWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const Panel* p = ui::panel(handle_);
    if (!p || !p->sizable) return;
    const int mbh = menuBar_ ? menuBar_->sizeHint().height() : 0;
    if (menuBar_) menuBar_->setGeometry(0, 0, width(), mbh);
    canvas_->setGeometry(0, mbh, width(), std::max(1, height() - mbh));
    for (View& v : views_) {
        const Control* c = model(v.id);
        if (!c) continue;
        const QRect at = placed(*c);
        v.widget->setGeometry(at.x(), at.y(), std::max(1, at.width()), std::max(1, at.height()));
        placeLabel(v, *c);
    }
}

void PanelWindow::createControl(const Control& c) {
    const int id = c.id;
    QWidget* w = nullptr;
    switch (c.kind) {
    case UiCtrlKind::Numeric: {
        if (c.dataType == VAL_INTEGER) {
            auto* s = new IntSpin(canvas_);
            connect(s, &QSpinBox::valueChanged, this, [this, id](int v) {
                if (!syncing_) userEntered(id, v);
            });
            w = s;
        } else {
            auto* s = new DoubleSpin(canvas_);
            connect(s, &QDoubleSpinBox::valueChanged, this, [this, id](double v) {
                if (!syncing_) userEntered(id, v);
            });
            w = s;
        }
        static_cast<QAbstractSpinBox*>(w)->setKeyboardTracking(false); // a value per Enter, not per key
        static_cast<QAbstractSpinBox*>(w)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        w->setLocale(QLocale::c());
        break;
    }
    case UiCtrlKind::String: {
        auto* e = new QLineEdit(canvas_);
        // Enter commits, also an unchanged text (a command sent again); leaving
        // the field only keeps what was typed, so a click elsewhere sends nothing.
        connect(e, &QLineEdit::returnPressed, this, [this, e, id] {
            if (syncing_) return;
            e->setModified(false);
            userEntered(id, e->text().toStdString(), true);
        });
        connect(e, &QLineEdit::editingFinished, this, [this, e, id] {
            if (syncing_ || !e->isModified()) return;
            e->setModified(false);
            userEntered(id, e->text().toStdString(), false);
        });
        w = e;
        break;
    }
    case UiCtrlKind::TextMsg: {
        auto* l = new QLabel(canvas_);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // Texts come from the instrument too (model, version): markup in them
        // is shown as it is, never interpreted.
        l->setTextFormat(Qt::PlainText);
        w = l;
        break;
    }
    case UiCtrlKind::TextBox: {
        auto* t = new QPlainTextEdit(canvas_);
        t->setUndoRedoEnabled(false);
        t->setLineWrapMode(QPlainTextEdit::NoWrap);
        connect(t, &QPlainTextEdit::textChanged, this, [this, t] {
            if (!syncing_) t->document()->setModified(true);
        });
        // A log follows its newest line until the user scrolls away from the
        // end.  The document is laid out lazily, so the end is sought again
        // whenever the range grows, not only when a line is added.
        QScrollBar* bar = t->verticalScrollBar();
        t->setProperty(kFollowEnd, true);
        connect(bar, &QScrollBar::valueChanged, t, [t, bar](int value) {
            t->setProperty(kFollowEnd, value >= bar->maximum());
        });
        connect(bar, &QScrollBar::rangeChanged, t, [t, bar](int, int max) {
            if (t->property(kFollowEnd).toBool()) bar->setValue(max);
        });
        w = t;
        break;
    }
    case UiCtrlKind::Toggle: {
        auto* b = new QPushButton(canvas_);
        b->setCheckable(true);
        connect(b, &QPushButton::toggled, this, [this, id](bool on) {
            if (syncing_) return;
            if (ui::userSetValue(handle_, id, on ? 1 : 0) < 0) return;
            userChanged(id, true);
        });
        w = b;
        break;
    }
    case UiCtrlKind::Button: {
        auto* b = new QPushButton(canvas_);
        connect(b, &QPushButton::clicked, this, [this, id] {
            const Control* m = model(id);
            if (!syncing_ && m && m->mode == VAL_HOT) ui::postEvent(handle_, id, EVENT_COMMIT);
        });
        w = b;
        break;
    }
    case UiCtrlKind::Ring: {
        auto* r = new QComboBox(canvas_);
        // activated: only the user's picks, never a programmatic change
        connect(r, &QComboBox::activated, this, [this, id](int index) {
            if (syncing_) return;
            const Control* m = model(id);
            const int before = m ? m->index : -1;
            if (ui::userSetIndex(handle_, id, index) < 0) return;
            userChanged(id, before != index);
        });
        w = r;
        break;
    }
    case UiCtrlKind::ListBox: {
        auto* l = new QListWidget(canvas_);
        l->setItemDelegate(new ColumnDelegate(l));
        l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setUniformItemSizes(true);
        connect(l, &QListWidget::currentRowChanged, this, [this, id](int row) {
            if (syncing_ || row < 0) return;
            const Control* m = model(id);
            const int before = m ? m->index : -1;
            if (ui::userSetIndex(handle_, id, row) < 0) return;
            userChanged(id, before != row);
        });
        w = l;
        break;
    }
    case UiCtrlKind::Graph:
        w = new GraphWidget(handle_, id, canvas_);
        break;
    case UiCtrlKind::Led:
        w = new Led(canvas_);
        break;
    case UiCtrlKind::Decoration: {
        auto* f = new QFrame(canvas_);
        f->setFrameStyle(QFrame::Box | QFrame::Sunken);
        w = f;
        break;
    }
    }

    View v;
    v.id = id;
    v.kind = c.kind;
    v.widget = w;
    if (hasOwnLabel(c.kind)) v.label = new ColumnLabel(c.label, canvas_);
    byId_[id] = views_.size();
    views_.push_back(v);
    watch(w, id);
    if (c.kind == UiCtrlKind::TextBox) {
        // Keep what the user typed when the focus leaves an editable text box.
        auto* t = static_cast<QPlainTextEdit*>(w);
        t->viewport()->installEventFilter(this);
        watched_[t->viewport()] = id;
    }
    View& stored = views_.back();
    syncing_ = true;
    applyItems(stored, c);
    applyAttributes(stored, c);
    applyValue(stored, c);
    syncing_ = false;
}

void PanelWindow::syncControl(int id, Change what) {
    auto it = byId_.find(id);
    const Control* c = model(id);
    if (it == byId_.end() || !c) return;
    View& v = views_[it->second];
    syncing_ = true;
    switch (what) {
    case Change::Value:
        applyValue(v, *c);
        break;
    case Change::Attributes:
        applyAttributes(v, *c);
        applyValue(v, *c); // range and precision changes can change what is shown
        break;
    case Change::Items:
        applyItems(v, *c);
        applyValue(v, *c);
        break;
    case Change::Plots:
        if (v.kind == UiCtrlKind::Graph) static_cast<GraphWidget*>(v.widget)->modelChanged();
        break;
    }
    syncing_ = false;
}

void PanelWindow::applyValue(View& v, const Control& c) {
    switch (v.kind) {
    case UiCtrlKind::Numeric:
        if (auto* s = qobject_cast<QSpinBox*>(v.widget))
            s->setValue(asInt(c.value));
        else if (auto* d = qobject_cast<QDoubleSpinBox*>(v.widget))
            d->setValue(asDouble(c.value));
        break;
    case UiCtrlKind::String: {
        auto* e = static_cast<QLineEdit*>(v.widget);
        const QString t = qs(asText(c.value));
        if (e->text() != t) e->setText(t);
        e->setModified(false);
        break;
    }
    case UiCtrlKind::TextMsg:
        static_cast<QLabel*>(v.widget)->setText(qs(asText(c.value)));
        break;
    case UiCtrlKind::TextBox:
        applyTextBox(v, c);
        break;
    case UiCtrlKind::Toggle: {
        auto* b = static_cast<QPushButton*>(v.widget);
        const bool on = asInt(c.value) != 0;
        b->setChecked(on);
        b->setText(toggleText(c, on));
        break;
    }
    case UiCtrlKind::Ring:
        static_cast<QComboBox*>(v.widget)->setCurrentIndex(c.index);
        break;
    case UiCtrlKind::ListBox: {
        auto* l = static_cast<QListWidget*>(v.widget);
        l->setCurrentRow(c.index);
        if (c.index >= 0) l->scrollToItem(l->item(c.index));
        break;
    }
    case UiCtrlKind::Led:
        static_cast<Led*>(v.widget)->setOn(asInt(c.value) != 0);
        break;
    case UiCtrlKind::Graph:
        static_cast<GraphWidget*>(v.widget)->modelChanged();
        break;
    case UiCtrlKind::Button:
    case UiCtrlKind::Decoration:
        break;
    }
}

// A message log may grow to many thousands of lines: appends and a changed
// last line touch only the end of the document; anything else rebuilds it.
void PanelWindow::applyTextBox(View& v, const Control& c) {
    auto* t = static_cast<QPlainTextEdit*>(v.widget);
    QScrollBar* bar = t->verticalScrollBar();
    const bool atEnd = t->property(kFollowEnd).toBool();
    const bool rebuild = c.linesRewritten != v.shownRewrite || c.lines.size() < v.shownLines;
    if (rebuild) {
        t->setPlainText(qs(joined(c.lines, 0)));
    } else {
        QTextCursor cur(t->document());
        cur.movePosition(QTextCursor::End);
        if (v.shownLines > 0 && c.lines[v.shownLines - 1] != v.shownLast) {
            cur.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
            cur.insertText(qs(c.lines[v.shownLines - 1]));
        }
        if (c.lines.size() > v.shownLines) {
            cur.movePosition(QTextCursor::End);
            const QString more = qs(joined(c.lines, v.shownLines));
            cur.insertText(v.shownLines > 0 ? QLatin1Char('\n') + more : more);
        }
    }
    v.shownLines = c.lines.size();
    v.shownRewrite = c.linesRewritten;
    v.shownLast = c.lines.empty() ? std::string() : c.lines.back();
    t->document()->setModified(false);
    if (atEnd || rebuild) bar->setValue(bar->maximum());
}

void PanelWindow::applyItems(View& v, const Control& c) {
    if (v.kind == UiCtrlKind::Ring) {
        auto* r = static_cast<QComboBox*>(v.widget);
        r->clear();
        for (const ListItem& it : c.items) r->addItem(plainLabel(it.label));
    } else if (v.kind == UiCtrlKind::ListBox) {
        auto* l = static_cast<QListWidget*>(v.widget);
        l->clear();
        for (const ListItem& it : c.items) {
            auto* item = new QListWidgetItem(plainLabel(it.label), l);
            item->setData(Qt::UserRole, qs(it.label));
        }
    }
}

void PanelWindow::applyAttributes(View& v, const Control& c) {
    QWidget* w = v.widget;
    const QRect at = placed(c);
    w->setGeometry(at.x(), at.y(), std::max(1, at.width()), std::max(1, at.height()));
    w->setToolTip(qs(ui::tooltipText(c)));
    w->setVisible(c.visible);
    w->setEnabled(!c.dimmed);
    const bool indicator = c.mode == VAL_INDICATOR;

    // The control's colours for the enabled states only: a dimmed control
    // keeps the style's greyed look, so that it shows it takes no input.
    QPalette pal = w->palette();
    const bool field = v.kind == UiCtrlKind::Numeric || v.kind == UiCtrlKind::String || v.kind == UiCtrlKind::TextBox ||
        v.kind == UiCtrlKind::ListBox;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Text, rgb(c.textColor));
        pal.setColor(group, QPalette::WindowText, rgb(c.textColor));
        pal.setColor(group, QPalette::ButtonText, rgb(c.textColor));
        if (field)
            pal.setColor(group, QPalette::Base, rgb(c.bgColor));
    }
    w->setPalette(pal);
    if (c.textSize > 0 && w->font().pointSize() != c.textSize) {
        QFont f = w->font();
        f.setPointSize(c.textSize);
        w->setFont(f);
    }
    // A text message on the resource default (white) takes the panel's background.
    if (v.kind == UiCtrlKind::TextMsg) {
        auto* l = static_cast<QLabel*>(w);
        l->setAutoFillBackground(c.bgColor != VAL_WHITE);
        if (c.bgColor != VAL_WHITE) {
            pal.setColor(QPalette::Window, rgb(c.bgColor));
            l->setPalette(pal);
        }
    }

    switch (v.kind) {
    case UiCtrlKind::Numeric: {
        auto* sb = static_cast<QAbstractSpinBox*>(w);
        sb->setReadOnly(indicator);
        sb->setButtonSymbols(indicator ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
        if (auto* s = dynamic_cast<IntSpin*>(w)) {
            const double lo = std::max(c.min, static_cast<double>(INT_MIN));
            const double hi = std::min(c.max, static_cast<double>(INT_MAX));
            s->setRange(INT_MIN, INT_MAX);
            s->setModelRange(std::ceil(lo), std::floor(hi));
            s->setSingleStep(std::max(1, static_cast<int>(std::lround(c.increment))));
        } else if (auto* d = dynamic_cast<DoubleSpin*>(w)) {
            d->setDecimals(c.precision); // the model keeps it in 0..15
            d->setRange(std::min(c.min, -kTypedBound), std::max(c.max, kTypedBound));
            d->setModelRange(c.min, c.max);
            d->setSingleStep(c.increment);
        }
        break;
    }
    case UiCtrlKind::String: {
        auto* e = static_cast<QLineEdit*>(w);
        e->setReadOnly(indicator);
        e->setMaxLength(c.maxEntryLength > 0 ? c.maxEntryLength : 32767);
        break;
    }
    case UiCtrlKind::TextBox:
        static_cast<QPlainTextEdit*>(w)->setReadOnly(indicator);
        break;
    case UiCtrlKind::Toggle:
        static_cast<QPushButton*>(w)->setText(toggleText(c, asInt(c.value) != 0));
        break;
    case UiCtrlKind::Button:
        static_cast<QPushButton*>(w)->setText(buttonText(c.label));
        break;
    default:
        break;
    }
    if (blocksInputAsIndicator(v.kind)) w->setFocusPolicy(indicator ? Qt::NoFocus : Qt::StrongFocus);
    placeLabel(v, c);
}

void PanelWindow::placeLabel(View& v, const Control& c) {
    if (!v.label) return;
    auto* l = static_cast<ColumnLabel*>(v.label);
    if (l->text() != c.label) l->setText(c.label);
    const int h = l->fontMetrics().height();
    const QRect at = placed(c);
    const int w = std::max(at.width(), l->textWidth());
    if (v.kind == UiCtrlKind::Led) // a lamp's label sits to its right
        l->setGeometry(at.right() + 5, at.y() + (at.height() - h) / 2, l->textWidth() + 2, h);
    else
        l->setGeometry(at.x(), at.y() - h - 1, w, h);
    l->setVisible(c.visible && !c.label.empty());
    l->setEnabled(!c.dimmed);
}

void PanelWindow::syncPanel() {
    const Panel* p = ui::panel(handle_);
    if (!p) return;
    setWindowTitle(qs(p->title));
    const int mbh = menuBar_ ? menuBar_->sizeHint().height() : 0;
    if (p->sizable) {
        // The model's size is the smallest; a size the program sets is taken,
        // the user's stays otherwise.
        setMinimumSize(std::max(1, p->width), std::max(1, p->height) + mbh);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (p->width != placedWidth_ || p->height != placedHeight_) {
            resize(std::max(1, p->width), std::max(1, p->height) + mbh);
            placedWidth_ = p->width;
            placedHeight_ = p->height;
        }
        if (menuBar_) menuBar_->setGeometry(0, 0, width(), mbh);
        canvas_->setGeometry(0, mbh, width(), std::max(1, height() - mbh));
    } else {
        if (menuBar_) menuBar_->setGeometry(0, 0, std::max(1, p->width), mbh);
        canvas_->setGeometry(0, mbh, std::max(1, p->width), std::max(1, p->height));
        setFixedSize(std::max(1, p->width), std::max(1, p->height) + mbh);
    }
    // Only a position the program sets moves the window; the user's stays.
    if (p->left != placedLeft_ || p->top != placedTop_) {
        move(p->left, p->top);
        placedLeft_ = p->left;
        placedTop_ = p->top;
    }
    if (p->visible && !isVisible()) {
        show();
        keepOnScreen();
        raise();
    } else if (!p->visible && isVisible()) {
        hide();
    }
}

// A window opens inside the screen's free area: moved up and left as far as
// needed so that its title bar, close box and bottom edge can be reached.
void PanelWindow::keepOnScreen() {
    const QScreen* sc = screen();
    if (!sc) return;
    const QRect free = sc->availableGeometry();
    const QRect frame = frameGeometry();
    const int dx = std::min(0, free.right() - frame.right()), dy = std::min(0, free.bottom() - frame.bottom());
    QPoint at = frame.topLeft() + QPoint(dx, dy);
    at.setX(std::max(at.x(), free.left()));
    at.setY(std::max(at.y(), free.top()));
    if (at != frame.topLeft()) move(pos() + (at - frame.topLeft()));
}

void PanelWindow::syncMenuBar() {
    const Panel* p = ui::panel(handle_);
    const MenuBar* mb = p ? ui::menuBar(p->menuBar) : nullptr;
    delete menuBar_;
    menuBar_ = nullptr;
    menuBarHandle_ = mb ? mb->handle : 0;
    if (mb) {
        menuBar_ = new QMenuBar(this);
        menuBar_->setNativeMenuBar(false); // part of the panel, like its controls
        const int bar = mb->handle;
        for (const Menu& m : mb->menus) {
            QMenu* menu = menuBar_->addMenu(qs(m.label));
            menu->menuAction()->setVisible(m.visible);
            menu->menuAction()->setEnabled(!m.dimmed);
            for (const MenuItem& item : m.items) {
                if (item.separator) {
                    menu->addSeparator();
                    continue;
                }
                QAction* a = menu->addAction(qs(item.label));
                a->setVisible(item.visible);
                a->setEnabled(!item.dimmed);
                const int itemId = item.id;
                connect(a, &QAction::triggered, this, [bar, itemId] { ui::postMenuEvent(bar, itemId); });
            }
        }
        menuBar_->show();
    }
    syncPanel();
}

void PanelWindow::closeEvent(QCloseEvent* e) {
    // The application decides whether the panel goes: it gets EVENT_CLOSE.
    ui::postEvent(handle_, 0, EVENT_CLOSE);
    e->ignore();
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type t = e->type();
    const bool mouse = t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
        t == QEvent::MouseButtonDblClick;
    const bool key = t == QEvent::KeyPress || t == QEvent::KeyRelease;
    if (!mouse && !key && t != QEvent::FocusOut && t != QEvent::Wheel) return false;
    auto it = watched_.find(watched);
    if (it == watched_.end()) return false;
    const int id = it->second;
    const Control* c = model(id);
    // Filters see events even for disabled widgets; a dimmed control has none.
    if (!c || c->dimmed) return false;
    const bool blockAsIndicator = c->mode == VAL_INDICATOR && blocksInputAsIndicator(c->kind);

    if (t == QEvent::FocusOut) {
        if (c->kind == UiCtrlKind::TextBox && c->mode != VAL_INDICATOR) {
            auto* tb = static_cast<QPlainTextEdit*>(controlWidget(id));
            if (tb->document()->isModified()) {
                const std::vector<std::string> before = c->lines;
                tb->document()->setModified(false);
                if (ui::userSetValue(handle_, id, tb->toPlainText().toStdString()) >= 0) {
                    const Control* m = model(id);
                    userChanged(id, m && m->lines != before);
                }
            }
        }
        return false;
    }
    if (mouse) {
        auto* me = static_cast<QMouseEvent*>(e);
        const bool repeat = e == lastEvent_ && me->timestamp() == lastStamp_;
        lastEvent_ = e;
        lastStamp_ = me->timestamp();
        if (!repeat) {
            if (t == QEvent::MouseButtonPress && me->button() == Qt::LeftButton)
                ui::postEvent(handle_, id, EVENT_LEFT_CLICK);
            else if (t == QEvent::MouseButtonPress && me->button() == Qt::RightButton)
                ui::postEvent(handle_, id, EVENT_RIGHT_CLICK);
            else if (t == QEvent::MouseButtonDblClick && me->button() == Qt::LeftButton)
                ui::postEvent(handle_, id, EVENT_LEFT_DOUBLE_CLICK);
            else if (t == QEvent::MouseButtonDblClick && me->button() == Qt::RightButton)
                ui::postEvent(handle_, id, EVENT_RIGHT_DOUBLE_CLICK);
        }
        return blockAsIndicator;
    }
    if (t == QEvent::Wheel) return blockAsIndicator && c->kind != UiCtrlKind::ListBox;
    return blockAsIndicator; // keys
}

} // namespace ui::qt
