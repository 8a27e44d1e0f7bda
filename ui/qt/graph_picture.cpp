// Graphs drawn with vector operations: the markers' shapes (shared with the
// cached drawing), the legend, and pictures of a panel's graphs as PNG or SVG
// files, with or without windows on the screen.
#include "ui/qt/graph_view.h"
#include "ui/qt/picture.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace ui::qt {

namespace {

QColor rgbOf(int c) { return QColor::fromRgb(static_cast<QRgb>(c & 0xFFFFFF)); }

bool endsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

// Fonts and painters need a GUI application.  A program without windows (the
// headless runner) gets one on the off-screen platform, kept to the end.
bool haveGuiApplication() {
    if (QCoreApplication::instance()) return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    static int argc = 1;
    static char name[] = "imbench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(argc, argv); // lives until the process ends
    return true;
}

void paintPlots(QPainter& p, const std::vector<Plot>& plots, const AxisMap& x, const AxisMap& y, const QRect& area) {
    p.save();
    p.setClipRect(area);
    QPen pen;
    pen.setWidthF(1.0);
    for (const Plot& pl : plots) {
        if (!pl.isLine || !x.accepts(pl.x1) || !y.accepts(pl.y1) || !x.accepts(pl.x2) || !y.accepts(pl.y2)) continue;
        if (pl.x1 == pl.x2 && pl.y1 == pl.y2) continue; // the start of a trace
        pen.setColor(rgbOf(pl.color));
        p.setPen(pen);
        p.drawLine(QPointF(x.toPixel(pl.x1), y.toPixel(pl.y1)), QPointF(x.toPixel(pl.x2), y.toPixel(pl.y2)));
    }
    for (const Plot& pl : plots) {
        if (pl.isLine || !x.accepts(pl.x1) || !y.accepts(pl.y1)) continue;
        p.save();
        p.translate(x.toPixel(pl.x1) - kMarkerRadius, y.toPixel(pl.y1) - kMarkerRadius);
        paintMarkerShape(p, pl.style, rgbOf(pl.color));
        p.restore();
    }
    p.restore();
}

} // namespace

void paintMarkerShape(QPainter& p, int style, const QColor& c) {
    constexpr int r = kMarkerRadius, s = 2 * r + 1;
    p.save();
    p.setPen(c);
    p.setBrush(Qt::NoBrush);
    const QPolygon diamond({QPoint(r, 0), QPoint(s - 1, r), QPoint(r, s - 1), QPoint(0, r)});
    switch (style) {
    case VAL_SOLID_SQUARE:
        p.fillRect(0, 0, s, s, c);
        break;
    case VAL_ASTERISK:
        p.drawLine(r, 0, r, s - 1);
        p.drawLine(0, r, s - 1, r);
        p.drawLine(1, 1, s - 2, s - 2);
        p.drawLine(1, s - 2, s - 2, 1);
        break;
    case VAL_SOLID_DIAMOND:
        p.setBrush(c);
        p.drawPolygon(diamond);
        break;
    case VAL_SIMPLE_DOT:
        p.fillRect(r - 1, r - 1, 3, 3, c);
        break;
    case VAL_EMPTY_CIRCLE:
        p.drawEllipse(QRect(0, 0, s - 1, s - 1));
        break;
    case VAL_SOLID_CIRCLE:
        p.setBrush(c);
        p.drawEllipse(QRect(0, 0, s - 1, s - 1));
        break;
    case VAL_SMALL_CROSS:
        p.drawLine(r, 1, r, s - 2);
        p.drawLine(1, r, s - 2, r);
        break;
    case VAL_EMPTY_DIAMOND:
        p.drawPolygon(diamond);
        break;
    default: // VAL_EMPTY_SQUARE and anything unknown
        p.drawRect(0, 0, s - 1, s - 1);
        break;
    }
    p.restore();
}

void paintLegend(QPainter& p, const Graph& g, const QRect& plot, const QFont& font) {
    if (g.legend.empty() || plot.width() < 40) return;
    const QFontMetrics fm(font);
    const int line = std::max(fm.height(), 2 * kMarkerRadius + 3);
    const int sample = 22; // a stretch of the trace's line with its marker in the middle
    int textW = 0;
    for (const LegendItem& item : g.legend)
        textW = std::max(textW, fm.horizontalAdvance(QString::fromStdString(item.text)));
    const int w = std::min(plot.width() - 8, 6 + sample + 6 + textW + 6);
    const int h = std::min(plot.height() - 8, 4 + line * static_cast<int>(g.legend.size()) + 4);
    const QRect box(plot.right() - 4 - w, plot.top() + 4, w, h);
    p.save();
    p.setClipRect(box.adjusted(0, 0, 1, 1));
    p.setFont(font);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(QColor(0xFF, 0xFF, 0xFF, 0xE0));
    p.drawRect(box);
    int y = box.top() + 4;
    for (const LegendItem& item : g.legend) {
        const QColor c = rgbOf(item.color);
        const int mid = y + line / 2;
        p.setPen(c);
        p.drawLine(box.left() + 6, mid, box.left() + 6 + sample, mid);
        p.save();
        p.translate(box.left() + 6 + sample / 2 - kMarkerRadius, mid - kMarkerRadius);
        paintMarkerShape(p, item.style, c);
        p.restore();
        p.setPen(Qt::black);
        p.drawText(QRect(box.left() + 6 + sample + 6, y, textW + 2, line), Qt::AlignLeft | Qt::AlignVCenter,
            QString::fromStdString(item.text));
        y += line;
    }
    p.restore();
}

void GraphPainter::paint(QPainter& p, const Graph& g, QSize size) {
    const bool xLog = g.axes[VAL_XAXIS].mapMode == VAL_LOG, yLog = g.axes[VAL_LEFT_YAXIS].mapMode == VAL_LOG;
    Bounds b{};
    extend(b, g.plots, 0, xLog, yLog);
    AxisMap nx, ny;
    scaleAxisOf(nx, g.axes[VAL_XAXIS], b.xAny, b.xlo, b.xhi);
    scaleAxisOf(ny, g.axes[VAL_LEFT_YAXIS], b.yAny, b.ylo, b.yhi);
    fit(g, nx, ny, size);
    p.save();
    drawFrame(p, g, QRect(QPoint(0, 0), size));
    paintPlots(p, g.plots, x_, y_, plot_);
    paintLegend(p, g, plot_, font_);
    p.restore();
    valid_ = false; // the layout no longer matches the cached image
}

} // namespace ui::qt

bool ui_qt_write_picture(int panel, const char* path, std::string* error) {
    using namespace ui::qt;
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const ui::Panel* pn = ui::panel(panel);
    if (!pn) return fail("no such panel");
    const std::string file = path ? path : "";
    const bool svg = endsWith(file, ".svg");
    if (!svg && !endsWith(file, ".png")) return fail("the file name must end in .png or .svg");
    // The graphs where the panel has them, in a frame just around them.
    QRect all;
    std::vector<const ui::Control*> graphs;
    for (const ui::Control& c : pn->controls) {
        if (c.kind != UiCtrlKind::Graph || !c.visible || c.width <= 0 || c.height <= 0) continue;
        graphs.push_back(&c);
        all = all.united(QRect(c.left, c.top, c.width, c.height));
    }
    if (graphs.empty()) return fail("the window has no graph");
    if (!haveGuiApplication()) return fail("no GUI application can run here");

    const QString name = QString::fromLocal8Bit(file.c_str());
    auto draw = [&](QPainter& p) {
        p.fillRect(QRect(QPoint(0, 0), all.size()), Qt::white);
        for (const ui::Control* c : graphs) {
            GraphPainter gp;
            p.save();
            p.translate(c->left - all.left(), c->top - all.top());
            p.setClipRect(QRect(0, 0, c->width, c->height));
            gp.paint(p, c->graph, QSize(c->width, c->height));
            p.restore();
        }
    };
    if (svg) {
        QSvgGenerator gen;
        gen.setFileName(name);
        gen.setSize(all.size());
        gen.setViewBox(QRect(QPoint(0, 0), all.size()));
        gen.setTitle(QString::fromStdString(pn->title));
        QPainter p;
        if (!p.begin(&gen)) return fail("cannot write " + file);
        draw(p);
        if (!p.end()) return fail("cannot write " + file);
        // The generator reports no write error: the file must be there.
        if (!QFile::exists(name) || QFileInfo(name).size() == 0) return fail("cannot write " + file);
        return true;
    }
    QImage image(all.size(), QImage::Format_RGB32);
    {
        QPainter p(&image);
        draw(p);
    }
    if (!image.save(name, "PNG")) return fail("cannot write " + file);
    return true;
}

void ui_qt_enable_pictures() {
    ui::setPictureWriter([](int panel, const std::string& path, std::string* error) {
        return ui_qt_write_picture(panel, path.c_str(), error);
    });
}
