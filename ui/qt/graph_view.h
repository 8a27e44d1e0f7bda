// The graph control: a QPainter drawing of ui::Graph with axes, ticks, axis
// names, plots and a cursor.  GraphPainter draws into a cached image (also
// used by the benchmark); GraphWidget shows it and turns clicks into cursor
// moves.
#pragma once

#include "ui/model.h"

#include <QFont>
#include <QImage>
#include <QStaticText>
#include <QWidget>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ui::qt {

constexpr int kMarkerRadius = 3;

// Data <-> pixel along one axis.  Log axes map log10 of the value.
struct AxisMap {
    double lo = 0.0, hi = 10.0; // data range shown (lo < hi)
    bool log = false;
    bool reverse = false;
    double a = 0.0, b = 1.0; // pixel = a + b * t, t = value or log10(value)

    // Finite, and positive on a log axis.
    bool accepts(double v) const { return v - v == 0.0 && (!log || v > 0.0); }
    double toPixel(double v) const;
    double toData(double px) const;
};

class GraphPainter {
public:
    explicit GraphPainter(const QFont& font = QFont());
    void setFont(const QFont& font);

    // Brings the cached image up to date with g at the given size and returns
    // it.  Plots appended since the last call are drawn on top of the cache
    // when nothing else changed (axes, ranges, size); anything else redraws.
    const QImage& render(const Graph& g, QSize size);
    // Draws all of g with vector operations into p, in a frame of the given
    // size, legend included (a picture file: SVG keeps lines and text).  The
    // next render draws everything again.
    void paint(QPainter& p, const Graph& g, QSize size);
    const QImage& image() const { return image_; }
    // The part of a widget of the given size that the next render changes:
    // around the appended plots when they can be drawn on the cache as they
    // are (same frame, same scale), else the whole widget.
    QRect dirtyRect(const Graph& g, QSize size) const;

    QRect plotRect() const { return plot_; }
    const AxisMap& xMap() const { return x_; }
    const AxisMap& yMap() const { return y_; }
    int fullRedraws() const { return fullRedraws_; }
    // The next render draws everything again (the data's bounds are kept).
    void invalidate() { valid_ = false; }

private:
    struct Bounds {
        double xlo, xhi, ylo, yhi;
        bool xAny = false, yAny = false;
    };
    struct AxisKey {
        int scaling, mapMode;
        double min, max;
        bool reverse, grid;
        std::string name;
        bool operator==(const AxisKey&) const = default;
    };
    // What decides between drawing on the cache and drawing everything.
    struct Frame {
        AxisKey xk, yk;
        bool xLog, yLog;
        bool prefixIntact; // the plots drawn last time are still the first ones
    };
    Frame frameOf(const Graph& g) const;

    static void scaleAxisOf(AxisMap& m, const Axis& a, bool any, double dlo, double dhi);
    static void extend(Bounds& b, const std::vector<Plot>& plots, std::size_t from, bool xLog, bool yLog);
    void layout(const Graph& g, QSize size);
    // The layout for the ranges nx, ny; at equal scale the axis with the
    // smaller unit per pixel widens around its middle.
    void fit(const Graph& g, const AxisMap& nx, const AxisMap& ny, QSize size);
    void drawFrame(QPainter& p, const Graph& g, QRect all);
    void drawLabel(QPainter& p, const QString& text, QPointF at, Qt::Alignment align);
    void drawPlots(const std::vector<Plot>& plots, std::size_t from);
    // A marker is a small premultiplied image, stored as runs of pixels so
    // that thousands of them are copied straight into the cache.
    struct Span {
        int dy, dx, len;
        bool opaque;
    };
    struct Marker {
        QImage img;
        std::vector<Span> spans;
        quint32 pixel; // the colour of every pixel, when uniform
        bool uniform;
    };
    const Marker& marker(std::uint64_t key);
    void blit(const Marker& m, const std::vector<QPoint>& at);

    QFont font_;
    QImage image_;
    QRect plot_;
    AxisMap x_, y_;
    AxisMap xRaw_, yRaw_; // the ranges before an equal scale widened one
    bool equal_ = false;
    bool valid_ = false;
    AxisKey xKey_{}, yKey_{};
    int bgColor_ = 0;
    Bounds bounds_{}; // of the plots seen last time
    bool boundsValid_ = false, boundsXLog_ = false, boundsYLog_ = false;
    std::size_t drawn_ = 0; // plots seen last time (drawn into the cache when valid_)
    int lastHandle_ = 0; // handle of the last of them
    int fullRedraws_ = 0;
    std::unordered_map<std::uint64_t, Marker> markers_;
    std::vector<double> xTicks_, yTicks_, xMinor_, yMinor_;
    std::vector<QString> xLabels_, yLabels_;
    std::unordered_map<QString, QStaticText> texts_;
};

// A point marker of the given style, drawn in the box (0, 0) to
// (2 * kMarkerRadius, 2 * kMarkerRadius): translate p to place it.
void paintMarkerShape(QPainter& p, int style, const QColor& c);
// The legend of g in the top right corner of the plot area; nothing when g
// has none.
void paintLegend(QPainter& p, const Graph& g, const QRect& plot, const QFont& font);

class GraphWidget : public QWidget {
public:
    GraphWidget(int panel, int control, QWidget* parent);
    // The graph's plots, axes or cursor changed in the model.
    void modelChanged();
    const GraphPainter& painter() const { return painter_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    int panel_, control_;
    GraphPainter painter_;
};

} // namespace ui::qt
