#include "ui/qt/graph_view.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QStaticText>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace ui::qt {

namespace {

constexpr int kMaxTicks = 200; // guards the tick loops against degenerate ranges
constexpr double kHuge = 1e300; // data beyond this is clamped for scaling
const QColor kFrameColor(0xF0, 0xF0, 0xF0);

QColor rgb(int c) { return QColor::fromRgb(static_cast<QRgb>(c & 0xFFFFFF)); }

bool isDark(int c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return r * 299 + g * 587 + b * 114 < 128000;
}

double niceStep(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1.0;
    const double e = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / e;
    return (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0
                   : f <= 5.0         ? 5.0
                                      : 10.0) *
        e;
}

// The range an axis shows.  An autoscaled range is rounded out to tick
// boundaries (decades on a log axis) so that points added inside it keep the
// scale, and with it the cached drawing.
void scaleAxis(AxisMap& m, const Axis& a, bool any, double dlo, double dhi) {
    m.log = a.mapMode == VAL_LOG;
    m.reverse = a.reverse;
    double lo = a.min, hi = a.max;
    const bool autoscale = a.scaling == VAL_AUTOSCALE && any;
    if (autoscale) {
        lo = std::clamp(dlo, -kHuge, kHuge);
        hi = std::clamp(dhi, -kHuge, kHuge);
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0.0;
        hi = 10.0;
    }
    lo = std::clamp(lo, -kHuge, kHuge);
    hi = std::clamp(hi, -kHuge, kHuge);
    if (hi < lo) std::swap(lo, hi);
    if (m.log) {
        if (hi <= 0.0) {
            lo = 1.0;
            hi = 10.0;
        } else if (lo <= 0.0)
            lo = hi / 1000.0;
        if (autoscale) {
            lo = std::pow(10.0, std::floor(std::log10(lo)));
            hi = std::pow(10.0, std::ceil(std::log10(hi)));
        }
        if (!(hi > lo)) hi = lo * 10.0;
    } else {
        if (!(hi > lo)) {
            const double d = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.1;
            lo -= d;
            hi += d;
        }
        if (autoscale) {
            const double step = niceStep((hi - lo) / 10.0);
            const double nlo = std::floor(lo / step) * step, nhi = std::ceil(hi / step) * step;
            if (std::isfinite(nlo) && std::isfinite(nhi) && nhi > nlo) {
                lo = nlo;
                hi = nhi;
            }
        }
    }
    m.lo = lo;
    m.hi = hi;
}

// Pixel mapping once the plot area is known; y grows downwards on screen.
void placeAxis(AxisMap& m, double first, double last) {
    const double tlo = m.log ? std::log10(m.lo) : m.lo;
    const double thi = m.log ? std::log10(m.hi) : m.hi;
    const double span = thi - tlo;
    if (m.reverse) std::swap(first, last);
    m.b = span > 0 ? (last - first) / span : 0.0;
    m.a = first - tlo * m.b;
}

QString numberLabel(double v, double step) {
    if (std::fabs(v) < step * 1e-9) v = 0.0; // no "-1.4e-17" for zero
    const double av = std::fabs(v);
    if (v != 0.0 && (av >= 1e6 || av < 1e-4 || step < 1e-4)) return QString::number(v, 'g', 4);
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return QString::number(v, 'f', std::clamp(decimals, 0, 6));
}

QString decadeLabel(double v) {
    const int k = static_cast<int>(std::lround(std::log10(v)));
    if (k >= -3 && k <= 5) return QString::number(std::pow(10.0, k), 'g', 6);
    return QStringLiteral("1e%1").arg(k);
}

struct Ticks {
    std::vector<double> major, minor;
    std::vector<QString> labels;
};

// Ticks for an axis of the given pixel length, about one label per spacing pixels.
Ticks makeTicks(const AxisMap& m, double length, double spacing) {
    Ticks t;
    const int want = std::max(2, static_cast<int>(length / spacing));
    if (!m.log) {
        const double step = niceStep((m.hi - m.lo) / want);
        double v = std::ceil(m.lo / step - 1e-9) * step;
        for (int i = 0; i < kMaxTicks && v <= m.hi + step * 1e-9; ++i, v += step) {
            t.major.push_back(v);
            t.labels.push_back(numberLabel(v, step));
        }
        return t;
    }
    const double llo = std::log10(m.lo), lhi = std::log10(m.hi);
    const int k0 = static_cast<int>(std::ceil(llo - 1e-9)), k1 = static_cast<int>(std::floor(lhi + 1e-9));
    const int decades = k1 - k0 + 1;
    const int every = std::max(1, (decades + want - 1) / want);
    const double decadePx = length / std::max(lhi - llo, 1e-12);
    if (decades >= 2) {
        for (int k = k0; k <= k1 && static_cast<int>(t.major.size()) < kMaxTicks; ++k) {
            if ((k - k0) % every) {
                t.minor.push_back(std::pow(10.0, k));
                continue;
            }
            t.major.push_back(std::pow(10.0, k));
            t.labels.push_back(decadeLabel(std::pow(10.0, k)));
        }
    }
    // Minor ticks at 2..9 of each decade when there is room for them; with
    // less than two decades shown they carry the labels.
    if (decadePx >= 24.0 || decades < 2) {
        const int d0 = static_cast<int>(std::floor(llo)), d1 = static_cast<int>(std::ceil(lhi));
        for (int k = d0; k < d1 && t.minor.size() < static_cast<std::size_t>(kMaxTicks) * 4; ++k) {
            for (int f = (decades < 2 ? 1 : 2); f <= 9; ++f) {
                const double v = f * std::pow(10.0, k);
                if (v < m.lo * (1 - 1e-9) || v > m.hi * (1 + 1e-9)) continue;
                if (decades < 2) {
                    if (f == 1 || f == 2 || f == 5 || decadePx >= 300.0) {
                        t.major.push_back(v);
                        t.labels.push_back(QString::number(v, 'g', 4));
                    } else {
                        t.minor.push_back(v);
                    }
                } else {
                    t.minor.push_back(v);
                }
            }
        }
    }
    return t;
}

// Liang-Barsky: clips the segment to the rectangle; false when nothing is left.
bool clipSegment(QPointF& p1, QPointF& p2, const QRectF& r) {
    const double dx = p2.x() - p1.x(), dy = p2.y() - p1.y();
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {p1.x() - r.left(), r.right() - p1.x(), p1.y() - r.top(), r.bottom() - p1.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const QPointF a = p1;
    p1 = QPointF(a.x() + t0 * dx, a.y() + t0 * dy);
    p2 = QPointF(a.x() + t1 * dx, a.y() + t1 * dy);
    return true;
}

std::uint64_t markerKey(int style, int color) {
    return (static_cast<std::uint64_t>(static_cast<unsigned>(style)) << 32) | static_cast<unsigned>(color & 0xFFFFFF);
}

// Remembers recent mappings: a sweep plots many points at one frequency, and
// a joining line ends where the point just plotted is.
class MapCache {
public:
    explicit MapCache(const AxisMap& m) : m_(m) { }
    double operator()(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        if (last_ && last_->bits == bits) return last_->px;
        Slot& s = slots_[(bits ^ (bits >> 29) ^ (bits >> 43)) & (kSlots - 1)];
        if (!s.used || s.bits != bits) s = Slot{bits, m_.toPixel(v), true};
        last_ = &s;
        return s.px;
    }

private:
    static constexpr std::size_t kSlots = 8;
    struct Slot {
        std::uint64_t bits = 0;
        double px = 0.0;
        bool used = false;
    };
    const AxisMap& m_;
    Slot slots_[kSlots];
    const Slot* last_ = nullptr;
};

// Small integer ids for keys (colours, marker kinds), of which a drawing has
// a handful: open addressing, grown at half full.
class KeyIndex {
public:
    // The id stored for key; -1 (to be set by the caller) when it is new.
    int& slot(std::uint64_t key) {
        if (2 * (used_ + 1) > slots_.size()) grow();
        Slot& s = probe(key);
        if (!s.used) {
            s = Slot{key, -1, true};
            ++used_;
        }
        return s.id;
    }

private:
    struct Slot {
        std::uint64_t key = 0;
        int id = -1;
        bool used = false;
    };
    Slot& probe(std::uint64_t key) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask;
        while (slots_[i].used && slots_[i].key != key) i = (i + 1) & mask;
        return slots_[i];
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& s : old)
            if (s.used) probe(s.key) = s;
    }
    std::vector<Slot> slots_ = std::vector<Slot>(16);
    std::size_t used_ = 0;
};

} // namespace

double AxisMap::toPixel(double v) const { return a + b * (log ? std::log10(v) : v); }

double AxisMap::toData(double px) const {
    const double t = b != 0.0 ? (px - a) / b : 0.0;
    return log ? std::pow(10.0, t) : t;
}

GraphPainter::GraphPainter(const QFont& font) : font_(font) { }

void GraphPainter::scaleAxisOf(AxisMap& m, const Axis& a, bool any, double dlo, double dhi) {
    scaleAxis(m, a, any, dlo, dhi);
}

void GraphPainter::setFont(const QFont& font) {
    font_ = font;
    texts_.clear();
    valid_ = false;
}

void GraphPainter::extend(Bounds& b, const std::vector<Plot>& plots, std::size_t from, bool xLog, bool yLog) {
    // Empty bounds are +inf..-inf, so that any accepted value replaces them.
    double xlo = b.xAny ? b.xlo : HUGE_VAL, xhi = b.xAny ? b.xhi : -HUGE_VAL;
    double ylo = b.yAny ? b.ylo : HUGE_VAL, yhi = b.yAny ? b.yhi : -HUGE_VAL;
    auto addX = [&](double v) {
        if (v - v == 0.0 && (!xLog || v > 0.0)) {
            xlo = std::min(xlo, v);
            xhi = std::max(xhi, v);
        }
    };
    auto addY = [&](double v) {
        if (v - v == 0.0 && (!yLog || v > 0.0)) {
            ylo = std::min(ylo, v);
            yhi = std::max(yhi, v);
        }
    };
    for (std::size_t i = from; i < plots.size(); ++i) {
        const Plot& p = plots[i];
        addX(p.x1);
        addY(p.y1);
        if (p.isLine) {
            addX(p.x2);
            addY(p.y2);
        }
    }
    b = Bounds{xlo, xhi, ylo, yhi, xlo <= xhi, ylo <= yhi};
}

GraphPainter::Frame GraphPainter::frameOf(const Graph& g) const {
    const Axis& ax = g.axes[VAL_XAXIS];
    const Axis& ay = g.axes[VAL_LEFT_YAXIS];
    Frame f{AxisKey{ax.scaling, ax.mapMode, ax.min, ax.max, ax.reverse, ax.gridVisible, ax.name},
        AxisKey{ay.scaling, ay.mapMode, ay.min, ay.max, ay.reverse, ay.gridVisible, ay.name},
        ax.mapMode == VAL_LOG, ay.mapMode == VAL_LOG, false};
    // Plots are kept in ascending handle order, so the prefix seen last time
    // is intact exactly when the plot at its last index still has its handle.
    f.prefixIntact = g.plots.size() >= drawn_ && (drawn_ == 0 || g.plots[drawn_ - 1].handle == lastHandle_);
    return f;
}

const QImage& GraphPainter::render(const Graph& g, QSize size) {
    const Axis& ax = g.axes[VAL_XAXIS];
    const Axis& ay = g.axes[VAL_LEFT_YAXIS];
    const Frame f = frameOf(g);
    const AxisKey& xk = f.xk;
    const AxisKey& yk = f.yk;
    const bool xLog = f.xLog, yLog = f.yLog, prefixIntact = f.prefixIntact;
    const bool sameFrame = valid_ && image_.size() == size && xk == xKey_ && yk == yKey_ &&
        g.plotBgColor == bgColor_;
    if (prefixIntact && sameFrame && g.plots.size() == drawn_) return image_;

    // The data's bounds depend on the data alone (and on which values a log
    // axis skips): a redraw for a new size or look does not scan it again.
    const bool boundsKnown = boundsValid_ && prefixIntact && xLog == boundsXLog_ && yLog == boundsYLog_;
    Bounds b = boundsKnown ? bounds_ : Bounds{};
    extend(b, g.plots, boundsKnown ? drawn_ : 0, xLog, yLog);
    bounds_ = b;
    boundsValid_ = true;
    boundsXLog_ = xLog;
    boundsYLog_ = yLog;

    AxisMap nx, ny;
    scaleAxis(nx, ax, b.xAny, b.xlo, b.xhi);
    scaleAxis(ny, ay, b.yAny, b.ylo, b.yhi);
    const bool sameScale = nx.lo == xRaw_.lo && nx.hi == xRaw_.hi && ny.lo == yRaw_.lo && ny.hi == yRaw_.hi &&
        g.equalScale == equal_;

    if (prefixIntact && sameFrame && sameScale) {
        drawPlots(g.plots, drawn_);
    } else {
        if (image_.size() != size) image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        xKey_ = xk;
        yKey_ = yk;
        bgColor_ = g.plotBgColor;
        fit(g, nx, ny, size);
        {
            QPainter p(&image_);
            drawFrame(p, g, image_.rect());
        }
        drawPlots(g.plots, 0);
        ++fullRedraws_;
        valid_ = true;
    }
    drawn_ = g.plots.size();
    lastHandle_ = drawn_ ? g.plots.back().handle : 0;
    return image_;
}

QRect GraphPainter::dirtyRect(const Graph& g, QSize size) const {
    const QRect all(QPoint(0, 0), size);
    const Frame f = frameOf(g);
    const bool xLog = f.xLog, yLog = f.yLog;
    // Nothing appended means the cursor or something else moved: all of it.
    if (!valid_ || image_.size() != size || !(f.xk == xKey_) || !(f.yk == yKey_) || g.plotBgColor != bgColor_ ||
        !f.prefixIntact || g.plots.size() == drawn_ || !boundsValid_ || xLog != boundsXLog_ || yLog != boundsYLog_)
        return all;
    // New data outside the bounds seen so far may change an autoscaled range.
    Bounds b = bounds_;
    extend(b, g.plots, drawn_, xLog, yLog);
    if (b.xAny != bounds_.xAny || b.yAny != bounds_.yAny || b.xlo != bounds_.xlo || b.xhi != bounds_.xhi ||
        b.ylo != bounds_.ylo || b.yhi != bounds_.yhi)
        return all;
    // Markers reach a few pixels around their point.
    constexpr double kReach = 10.0;
    double left = HUGE_VAL, right = -HUGE_VAL, top = HUGE_VAL, bottom = -HUGE_VAL;
    auto add = [&](double x, double y) {
        if (!x_.accepts(x) || !y_.accepts(y)) return;
        const double px = x_.toPixel(x), py = y_.toPixel(y);
        left = std::min(left, px);
        right = std::max(right, px);
        top = std::min(top, py);
        bottom = std::max(bottom, py);
    };
    for (std::size_t i = drawn_; i < g.plots.size(); ++i) {
        const Plot& p = g.plots[i];
        add(p.x1, p.y1);
        if (p.isLine) add(p.x2, p.y2);
    }
    if (left > right) return QRect();
    const QRectF r(QPointF(left - kReach, top - kReach), QPointF(right + kReach, bottom + kReach));
    return r.toAlignedRect().intersected(all);
}

void GraphPainter::fit(const Graph& g, const AxisMap& nx, const AxisMap& ny, QSize size) {
    xRaw_ = x_ = nx;
    yRaw_ = y_ = ny;
    equal_ = g.equalScale;
    layout(g, size);
    if (!g.equalScale || x_.log || y_.log) return;
    // Twice: the widened range may change the labels' width, and so the plot's.
    for (int pass = 0; pass < 2; ++pass) {
        const double w = std::max(1, plot_.width()), h = std::max(1, plot_.height());
        const double unit = std::max((x_.hi - x_.lo) / w, (y_.hi - y_.lo) / h);
        auto widen = [unit](AxisMap& m, double px) {
            const double mid = 0.5 * (m.lo + m.hi);
            m.lo = mid - 0.5 * unit * px;
            m.hi = mid + 0.5 * unit * px;
        };
        widen(x_, w);
        widen(y_, h);
        layout(g, size);
    }
}

void GraphPainter::layout(const Graph& g, QSize size) {
    const QFontMetrics fm(font_);
    const int th = fm.height();
    const int w = size.width(), h = size.height();
    const bool xName = !g.axes[VAL_XAXIS].name.empty(), yName = !g.axes[VAL_LEFT_YAXIS].name.empty();

    const int top = th / 2 + 4;
    const int bottom = 4 + 3 + th + (xName ? th + 2 : 0) + 2;
    const double plotH = std::max(10, h - top - bottom);
    placeAxis(y_, top + plotH - 1, top);
    const Ticks yt = makeTicks(y_, plotH, th * 2.2);
    // A common minimum width keeps graphs stacked on a panel aligned.
    int labelW = fm.horizontalAdvance(QStringLiteral("-000.0"));
    for (const QString& s : yt.labels) labelW = std::max(labelW, fm.horizontalAdvance(s));
    const int left = 4 + (yName ? th + 4 : 0) + labelW + 4 + 3;
    const int right = fm.horizontalAdvance(QStringLiteral("00000")) / 2 + 4;
    const double plotW = std::max(10, w - left - right);
    placeAxis(x_, left, left + plotW - 1);
    const Ticks xt = makeTicks(x_, plotW, std::max(60, fm.horizontalAdvance(QStringLiteral("0.0000")) + 16));

    plot_ = QRect(left, top, static_cast<int>(plotW), static_cast<int>(plotH));
    xTicks_ = xt.major;
    yTicks_ = yt.major;
    xMinor_ = xt.minor;
    yMinor_ = yt.minor;
    xLabels_ = xt.labels;
    yLabels_ = yt.labels;
}

void GraphPainter::drawFrame(QPainter& p, const Graph& g, QRect all) {
    // The margins around the plot area, then the plot area: each pixel once.
    p.fillRect(QRect(0, 0, all.width(), plot_.top()), kFrameColor);
    p.fillRect(QRect(0, plot_.bottom() + 1, all.width(), all.height() - plot_.bottom() - 1), kFrameColor);
    p.fillRect(QRect(0, plot_.top(), plot_.left(), plot_.height()), kFrameColor);
    p.fillRect(QRect(plot_.right() + 1, plot_.top(), all.width() - plot_.right() - 1, plot_.height()), kFrameColor);
    p.fillRect(plot_, rgb(g.plotBgColor));
    p.setFont(font_);
    p.setPen(Qt::black);
    const bool dark = isDark(g.plotBgColor);
    const QColor gridMajor = dark ? QColor(0x60, 0x60, 0x60) : QColor(0xC8, 0xC8, 0xC8);
    const QColor gridMinor = dark ? QColor(0x40, 0x40, 0x40) : QColor(0xE6, 0xE6, 0xE6);
    const int l = plot_.left(), r = plot_.right(), t = plot_.top(), b = plot_.bottom();
    const int h = plot_.height(), w = plot_.width();
    auto xpx = [&](double v) { return static_cast<int>(std::lround(x_.toPixel(v))); };
    auto ypx = [&](double v) { return static_cast<int>(std::lround(y_.toPixel(v))); };
    // Grid lines and ticks are axis-aligned: filled one-pixel rectangles are
    // much cheaper than stroked lines.
    auto vline = [&](int x, int y0, int len, const QColor& c) { p.fillRect(QRect(x, y0, 1, len), c); };
    auto hline = [&](int x0, int y, int len, const QColor& c) { p.fillRect(QRect(x0, y, len, 1), c); };

    if (g.axes[VAL_XAXIS].gridVisible) {
        for (double v : xMinor_) vline(xpx(v), t, h, gridMinor);
        for (double v : xTicks_) vline(xpx(v), t, h, gridMajor);
    }
    if (g.axes[VAL_LEFT_YAXIS].gridVisible) {
        for (double v : yMinor_) hline(l, ypx(v), w, gridMinor);
        for (double v : yTicks_) hline(l, ypx(v), w, gridMajor);
    }

    const QColor ink(Qt::black);
    hline(l, t, w, ink);
    hline(l, b, w, ink);
    vline(l, t, h, ink);
    vline(r, t, h, ink);
    for (double v : xMinor_) vline(xpx(v), b + 1, 2, ink);
    for (double v : yMinor_) hline(l - 3, ypx(v), 2, ink);
    const int th = QFontMetrics(font_).height();
    for (std::size_t i = 0; i < xTicks_.size(); ++i) {
        const int x = xpx(xTicks_[i]);
        vline(x, b + 1, 4, ink);
        drawLabel(p, xLabels_[i], QPointF(x, b + 5), Qt::AlignHCenter | Qt::AlignTop);
    }
    for (std::size_t i = 0; i < yTicks_.size(); ++i) {
        const int y = ypx(yTicks_[i]);
        hline(l - 4, y, 4, ink);
        drawLabel(p, yLabels_[i], QPointF(l - 7, y), Qt::AlignRight | Qt::AlignVCenter);
    }
    const QString xName = QString::fromStdString(g.axes[VAL_XAXIS].name);
    const QString yName = QString::fromStdString(g.axes[VAL_LEFT_YAXIS].name);
    if (!xName.isEmpty()) drawLabel(p, xName, QPointF(l + w / 2.0, b + 5 + th), Qt::AlignHCenter | Qt::AlignTop);
    if (!yName.isEmpty()) {
        p.save();
        p.translate(4, t + h / 2.0);
        p.rotate(-90);
        drawLabel(p, yName, QPointF(0, 0), Qt::AlignHCenter | Qt::AlignTop);
        p.restore();
    }
}

// Labels repeat from one drawing to the next: their laid-out text is kept.
void GraphPainter::drawLabel(QPainter& p, const QString& text, QPointF at, Qt::Alignment align) {
    constexpr std::size_t kMaxCached = 256;
    auto it = texts_.find(text);
    if (it == texts_.end()) {
        if (texts_.size() >= kMaxCached) texts_.clear();
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.prepare(QTransform(), font_);
        it = texts_.emplace(text, st).first;
    }
    const QSizeF size = it->second.size();
    double x = at.x(), y = at.y();
    if (align & Qt::AlignHCenter)
        x -= size.width() / 2.0;
    else if (align & Qt::AlignRight)
        x -= size.width();
    if (align & Qt::AlignVCenter) y -= size.height() / 2.0;
    p.drawStaticText(QPointF(std::round(x), std::round(y)), it->second);
}

void GraphPainter::drawPlots(const std::vector<Plot>& plots, std::size_t from) {
    if (from >= plots.size()) return;
    // Segments that continue one another (same colour, one's end is the
    // next one's start) are joined into polylines, drawn first; markers go
    // on top, grouped by kind.
    struct Run {
        int color;
        std::vector<QPointF> pts;
        double endX, endY;
        bool open;
    };
    struct Sprites {
        std::uint64_t key;
        std::vector<QPoint> at;
    };
    std::vector<Run> runs;
    std::vector<Sprites> sprites;
    KeyIndex openRun; // colour -> the run a segment may continue
    KeyIndex spriteOf; // marker key -> sprites entry
    MapCache mx(x_), my(y_);
    const double bl = plot_.left() - 2.0, br = plot_.right() + 2.0, bt = plot_.top() - 2.0, bb = plot_.bottom() + 2.0;
    const double ml = plot_.left() - kMarkerRadius, mr = plot_.right() + kMarkerRadius;
    const double mt = plot_.top() - kMarkerRadius, mb = plot_.bottom() + kMarkerRadius;
    auto inBox = [&](QPointF q) { return q.x() >= bl && q.x() <= br && q.y() >= bt && q.y() <= bb; };

    for (std::size_t i = from; i < plots.size(); ++i) {
        const Plot& pl = plots[i];
        if (!x_.accepts(pl.x1) || !y_.accepts(pl.y1)) continue;
        if (!pl.isLine) {
            const double px = mx(pl.x1), py = my(pl.y1);
            if (!(px >= ml && px <= mr && py >= mt && py <= mb)) continue;
            // Both are positive here (the plot area is inside the image).
            const QPoint at(static_cast<int>(px + 0.5), static_cast<int>(py + 0.5));
            const std::uint64_t key = markerKey(pl.style, pl.color);
            int& id = spriteOf.slot(key);
            if (id < 0) {
                id = static_cast<int>(sprites.size());
                sprites.push_back(Sprites{key, {}});
            }
            std::vector<QPoint>& list = sprites[static_cast<std::size_t>(id)].at;
            // A dense sweep puts many points on one pixel: draw that marker once.
            if (list.empty() || list.back() != at) list.push_back(at);
            continue;
        }
        if (!x_.accepts(pl.x2) || !y_.accepts(pl.y2)) continue;
        int& open = openRun.slot(static_cast<std::uint64_t>(static_cast<unsigned>(pl.color)));
        Run* run = nullptr;
        if (open >= 0) {
            Run& r = runs[static_cast<std::size_t>(open)];
            if (r.open && r.endX == pl.x1 && r.endY == pl.y1) run = &r;
        }
        QPointF b(mx(pl.x2), my(pl.y2));
        if (run && inBox(b)) {
            run->pts.push_back(b);
            run->endX = pl.x2;
            run->endY = pl.y2;
            continue;
        }
        QPointF a = run ? run->pts.back() : QPointF(mx(pl.x1), my(pl.y1));
        const QPointF a0 = a, b0 = b;
        if (!(inBox(a) && inBox(b)) && !clipSegment(a, b, QRectF(QPointF(bl, bt), QPointF(br, bb)))) {
            if (run) run->open = false;
            continue;
        }
        if (!run || a != a0) {
            open = static_cast<int>(runs.size());
            runs.push_back(Run{pl.color, {}, 0, 0, true});
            run = &runs.back();
            run->pts.reserve(64);
            run->pts.push_back(a);
        }
        run->pts.push_back(b);
        run->endX = pl.x2;
        run->endY = pl.y2;
        run->open = b == b0;
    }

    if (!runs.empty()) {
        QPainter p(&image_);
        p.setClipRect(plot_);
        QPen pen;
        pen.setCosmetic(true);
        pen.setWidth(1);
        for (const Run& r : runs) {
            pen.setColor(rgb(r.color));
            p.setPen(pen);
            p.drawPolyline(r.pts.data(), static_cast<int>(r.pts.size()));
        }
    }
    for (const Sprites& sp : sprites) blit(marker(sp.key), sp.at);
}

void GraphPainter::blit(const Marker& m, const std::vector<QPoint>& at) {
    auto* base = reinterpret_cast<quint32*>(image_.bits());
    const qsizetype stride = image_.bytesPerLine() / 4;
    const auto* src = reinterpret_cast<const quint32*>(m.img.constBits());
    const int srcStride = m.img.width();
    const int cl = plot_.left(), cr = plot_.right(), ct = plot_.top(), cb = plot_.bottom();
    constexpr int r = kMarkerRadius;
    for (const QPoint& p : at) {
        const int x0 = p.x() - r, y0 = p.y() - r;
        quint32* origin = base + y0 * stride + x0;
        if (m.uniform && x0 >= cl && x0 + 2 * r <= cr && y0 >= ct && y0 + 2 * r <= cb) {
            for (const Span& s : m.spans) {
                quint32* d = origin + s.dy * stride + s.dx;
                for (int i = 0; i < s.len; ++i) d[i] = m.pixel;
            }
            continue;
        }
        for (const Span& s : m.spans) {
            const int y = y0 + s.dy;
            if (y < ct || y > cb) continue;
            const int xs = std::max(x0 + s.dx, cl), xe = std::min(x0 + s.dx + s.len - 1, cr);
            if (xs > xe) continue;
            quint32* d = origin + s.dy * stride + (xs - x0);
            const quint32* from = src + s.dy * srcStride + (xs - x0);
            const int n = xe - xs + 1;
            for (int i = 0; i < n; ++i) {
                if (s.opaque) {
                    d[i] = from[i];
                    continue;
                }
                // Source over for premultiplied pixels: d = s + d * (1 - alpha(s)).
                const quint32 a = 255 - (from[i] >> 24);
                quint32 rb = (d[i] & 0xFF00FF) * a;
                rb = ((rb + ((rb >> 8) & 0xFF00FF) + 0x800080) >> 8) & 0xFF00FF;
                quint32 ag = ((d[i] >> 8) & 0xFF00FF) * a;
                ag = (ag + ((ag >> 8) & 0xFF00FF) + 0x800080) & 0xFF00FF00;
                d[i] = from[i] + (ag | rb);
            }
        }
    }
}

const GraphPainter::Marker& GraphPainter::marker(std::uint64_t key) {
    const int style = static_cast<int>(key >> 32), color = static_cast<int>(key & 0xFFFFFF);
    auto it = markers_.find(key);
    if (it != markers_.end()) return it->second;

    // Crisp, aliased shapes: every pixel is either the colour or clear, so
    // drawing a marker is a plain copy of its pixels.
    constexpr int r = kMarkerRadius, s = 2 * r + 1;
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    paintMarkerShape(p, style, rgb(color));
    p.end();

    Marker m{img, {}, 0, true};
    for (int y = 0; y < s; ++y) {
        const auto* row = reinterpret_cast<const quint32*>(img.constScanLine(y));
        for (int x = 0; x < s;) {
            const quint32 alpha = row[x] >> 24;
            if (alpha == 0) {
                ++x;
                continue;
            }
            const bool opaque = alpha == 255;
            int e = x + 1;
            while (e < s && (row[e] >> 24) != 0 && ((row[e] >> 24) == 255) == opaque) ++e;
            m.spans.push_back(Span{y, x, e - x, opaque});
            for (int i = x; i < e; ++i) {
                if (m.spans.size() == 1 && i == x) m.pixel = row[i];
                m.uniform = m.uniform && opaque && row[i] == m.pixel;
            }
            x = e;
        }
    }
    return markers_.emplace(key, std::move(m)).first->second;
}

// ---- the widget ------------------------------------------------------------

GraphWidget::GraphWidget(int panel, int control, QWidget* parent)
    : QWidget(parent), panel_(panel), control_(control), painter_(font()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

void GraphWidget::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) painter_.setFont(font());
    QWidget::changeEvent(e);
}

void GraphWidget::modelChanged() {
    const Panel* pn = ui::panel(panel_);
    const Control* c = pn ? pn->control(control_) : nullptr;
    if (!c) {
        update();
        return;
    }
    // Appended points repaint only their own area, so a window full of traces
    // costs little per new point.
    const QRect dirty = painter_.dirtyRect(c->graph, size());
    if (!dirty.isEmpty()) update(dirty);
}

void GraphWidget::paintEvent(QPaintEvent* e) {
    const Panel* pn = ui::panel(panel_);
    const Control* c = pn ? pn->control(control_) : nullptr;
    QPainter p(this);
    if (!c) {
        p.fillRect(rect(), kFrameColor);
        return;
    }
    const int fullBefore = painter_.fullRedraws();
    const QImage& image = painter_.render(c->graph, size());
    // A redraw of everything while only a part was to be painted: paint the
    // rest too (a safety net; the dirty area predicts the incremental case).
    if (painter_.fullRedraws() != fullBefore && e->rect() != rect()) update();
    p.drawImage(e->rect(), image, e->rect());
    paintLegend(p, c->graph, painter_.plotRect(), font());
    const AxisMap& xm = painter_.xMap();
    const AxisMap& ym = painter_.yMap();
    const double cx = c->graph.cursorX, cy = c->graph.cursorY;
    if (!xm.accepts(cx) || !ym.accepts(cy)) return;
    const QRect r = painter_.plotRect();
    const double px = xm.toPixel(cx), py = ym.toPixel(cy);
    if (!(px >= r.left() && px <= r.right() && py >= r.top() && py <= r.bottom())) return;
    const int ix = static_cast<int>(std::lround(px)), iy = static_cast<int>(std::lround(py));
    QPen pen(isDark(c->graph.plotBgColor) ? Qt::white : Qt::black);
    pen.setStyle(Qt::DashLine);
    p.setPen(pen);
    p.drawLine(r.left(), iy, r.right(), iy);
    p.drawLine(ix, r.top(), ix, r.bottom());
}

void GraphWidget::mousePressEvent(QMouseEvent* e) {
    const Panel* pn = ui::panel(panel_);
    const Control* c = pn ? pn->control(control_) : nullptr;
    if (!c || e->button() != Qt::LeftButton || c->mode == VAL_INDICATOR) return;
    const QPointF at = e->position();
    if (!QRectF(painter_.plotRect()).contains(at)) return;
    const int mode = c->mode;
    ui::userSetCursor(panel_, control_, painter_.xMap().toData(at.x()), painter_.yMap().toData(at.y()));
    if (mode == VAL_HOT) ui::postEvent(panel_, control_, EVENT_COMMIT);
    update();
}

} // namespace ui::qt
