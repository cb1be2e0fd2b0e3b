#include "onboarding/MockLayout.h"

#include "shell/kit/RecentlyUsed.h"
#include "shell/kit/Symbols.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace mock {

namespace detail {

// A piece of the layout tree. Sizes are asked for many times while stacks share out room, so
// each node remembers its last few answers.
class Node
{
public:
    virtual ~Node() = default;

    QSizeF size(const Proposal& proposal) const
    {
        for (const auto& [asked, answer] : m_sizes) {
            if (asked == proposal) {
                return answer;
            }
        }
        const QSizeF answer = compute(proposal);
        if (m_sizes.size() >= kRemembered) {
            m_sizes.erase(m_sizes.begin());
        }
        m_sizes.emplace_back(proposal, answer);
        return answer;
    }

    virtual double baseline(const QSizeF& size) const { return size.height(); }
    virtual QMarginsF overflow() const { return {}; }
    virtual void paint(QPainter& painter, const QRectF& rect) const = 0;
    // Spacers are shared out by their stack after everything else.
    virtual std::optional<double> spacerMinLength() const { return std::nullopt; }

protected:
    virtual QSizeF compute(const Proposal& proposal) const = 0;

private:
    static constexpr std::size_t kRemembered = 8;
    mutable std::vector<std::pair<Proposal, QSizeF>> m_sizes;
};

} // namespace detail

using detail::Node;

namespace {

double alignedOffset(double free, Qt::Alignment alignment, Qt::Orientation orientation)
{
    if (orientation == Qt::Horizontal) {
        if (alignment & Qt::AlignLeft) {
            return 0;
        }
        return (alignment & Qt::AlignRight) ? free : free / 2;
    }
    if (alignment & Qt::AlignTop) {
        return 0;
    }
    return (alignment & Qt::AlignBottom) ? free : free / 2;
}

QRectF alignedRect(const QSizeF& size, const QRectF& in, Qt::Alignment alignment)
{
    return {in.left() + alignedOffset(in.width() - size.width(), alignment, Qt::Horizontal),
            in.top() + alignedOffset(in.height() - size.height(), alignment, Qt::Vertical),
            size.width(),
            size.height()};
}

std::optional<double> shrunk(std::optional<double> proposed, double by)
{
    if (!proposed || std::isinf(*proposed)) {
        return proposed;
    }
    return std::max(0.0, *proposed - by);
}

Proposal proposalOf(const QRectF& rect)
{
    return {rect.width(), rect.height()};
}

QMarginsF unite(const QMarginsF& a, const QMarginsF& b)
{
    return {std::max(a.left(), b.left()),
            std::max(a.top(), b.top()),
            std::max(a.right(), b.right()),
            std::max(a.bottom(), b.bottom())};
}

// The painter's device pixels per point, so offscreen layers are as sharp as the target. The
// device transform carries the device's pixel ratio, also where a widget is rendered into an
// image and its device reports none. Never below one: a painter ignores a pixel ratio under one,
// so a shrunk layer would be drawn too large and cut off.
double deviceScale(const QPainter& painter)
{
    return std::clamp(std::sqrt(std::abs(painter.deviceTransform().determinant())), 1.0, 8.0);
}

// A part of the drawing rendered on its own, to be faded, masked, blurred or shadowed as a whole.
struct Layer
{
    QImage image; // at `scale` pixels per point, device pixel ratio set
    QRectF area;
    double scale = 1;
};

Layer renderLayer(QPainter& painter, const QRectF& area, const std::function<void(QPainter&)>& draw)
{
    Layer layer;
    layer.scale = deviceScale(painter);
    layer.area = area;
    const QSize pixels(static_cast<int>(std::ceil(area.width() * layer.scale)),
                       static_cast<int>(std::ceil(area.height() * layer.scale)));
    if (pixels.isEmpty() || pixels.width() > 8192 || pixels.height() > 8192) {
        return layer;
    }
    layer.image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    layer.image.fill(Qt::transparent);
    layer.image.setDevicePixelRatio(layer.scale);
    QPainter p(&layer.image);
    p.setRenderHints(painter.renderHints());
    p.translate(-area.topLeft());
    draw(p);
    return layer;
}

void drawLayer(QPainter& painter, const Layer& layer, QPointF shift = {})
{
    if (!layer.image.isNull()) {
        painter.drawImage(layer.area.translated(shift), layer.image);
    }
}

// The pictures a layer node drew last, for the rectangle, pixels a point and render hints it drew
// them with. A node's description never changes and its pictures depend on nothing else, so an
// item kept by its view is drawn again from them as they are: a dot pulsing over a blurred,
// clipped window repaints the dot, not the window. Two are kept, for an item shown twice at two
// sizes (the demo's window on both monitors). Main thread only, as painting is.
template <typename Pictures>
class KeptPictures
{
public:
    const Pictures&
    get(const QPainter& painter, const QRectF& rect, const std::function<Pictures()>& make) const
    {
        return m_kept.get(DrawnAt{rect, deviceScale(painter), painter.renderHints()}, make);
    }

private:
    struct DrawnAt
    {
        QRectF rect;
        double scale = 1;
        QPainter::RenderHints hints;

        bool operator==(const DrawnAt&) const = default;
    };
    mutable kit::RecentlyUsed<DrawnAt, Pictures, 2> m_kept;
};

// Blurs every channel of a premultiplied image; the edges count as transparent.
void blurImage(QImage& image, double sigma)
{
    const int w = image.width();
    const int h = image.height();
    std::array<QImage, 4> channels;
    for (int c = 0; c < 4; ++c) {
        channels[c] = QImage(w, h, QImage::Format_Alpha8);
        for (int y = 0; y < h; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* out = channels[c].scanLine(y);
            for (int x = 0; x < w; ++x) {
                out[x] = static_cast<uchar>((in[x] >> (8 * c)) & 0xFF);
            }
        }
        kit::blurAlpha(channels[c], sigma);
    }
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            QRgb v = 0;
            for (int c = 0; c < 4; ++c) {
                v |= static_cast<QRgb>(channels[c].constScanLine(y)[x]) << (8 * c);
            }
            // Blurring channels apart can leave a colour above its alpha; keep it premultiplied.
            const uint a = qAlpha(v);
            out[x] = qRgba(
                std::min<uint>(qRed(v), a), std::min<uint>(qGreen(v), a), std::min<uint>(qBlue(v), a), a);
        }
    }
}

// -- Leaves ------------------------------------------------------------------------------------

class EmptyNode final : public Node
{
public:
    void paint(QPainter& /*painter*/, const QRectF& /*rect*/) const override {}

protected:
    QSizeF compute(const Proposal& /*proposal*/) const override { return {0, 0}; }
};

class SpacerNode final : public Node
{
public:
    explicit SpacerNode(double minLength)
        : m_minLength(std::max(0.0, minLength))
    {}

    std::optional<double> spacerMinLength() const override { return m_minLength; }
    void paint(QPainter& /*painter*/, const QRectF& /*rect*/) const override {}

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        const auto take = [this](std::optional<double> p) {
            return p && std::isfinite(*p) ? std::max(*p, m_minLength) : m_minLength;
        };
        return {take(proposal.width), take(proposal.height)};
    }

private:
    double m_minLength;
};

class TextNode final : public Node
{
public:
    TextNode(QList<Run> runs, const TextOptions& options)
        : m_runs(std::move(runs))
        , m_options(options)
    {
        for (Run& run : m_runs) {
            run.text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        }
    }

    double baseline(const QSizeF& size) const override
    {
        QTextLayout layout;
        return setLines(layout, m_runs, size.width(), nullptr).baseline;
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        const QPaintDevice* device = painter.device();
        QTextLayout layout;
        Lines lines = setLines(layout, m_runs, rect.width(), device);
        if (m_options.lineLimit == 1 && lines.width > rect.width() + 0.01) {
            setLines(layout, elided(layout, rect.width(), device), rect.width(), device);
        }
        for (int i = 0; i < layout.lineCount(); ++i) {
            QTextLine line = layout.lineAt(i);
            line.setPosition(QPointF(
                alignedOffset(rect.width() - line.naturalTextWidth(), m_options.alignment, Qt::Horizontal),
                line.y()));
        }
        layout.draw(&painter, rect.topLeft());
    }

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        QTextLayout layout;
        const Lines lines = setLines(layout, m_runs, proposal.width, nullptr);
        double width = lines.width;
        if (proposal.width && std::isfinite(*proposal.width)) {
            width = std::min(width, *proposal.width);
        }
        return {width, lines.height};
    }

private:
    struct Lines
    {
        double width = 0;
        double height = 0;
        double baseline = 0;
    };

    // Sets the runs as one paragraph, wrapped at `width` unless limited to one line or offered
    // no finite width.
    Lines setLines(QTextLayout& layout,
                   const QList<Run>& runs,
                   std::optional<double> width,
                   const QPaintDevice* device) const
    {
        QString text;
        QList<QTextLayout::FormatRange> formats;
        for (const Run& run : runs) {
            QTextCharFormat format;
            format.setFont(run.font.font(device));
            format.setForeground(run.color);
            formats.append({static_cast<int>(text.size()), static_cast<int>(run.text.size()), format});
            text += run.text;
        }
        if (text.isEmpty()) {
            return {};
        }
        const bool wraps = width && std::isfinite(*width) && m_options.lineLimit != 1;
        QTextOption option;
        option.setWrapMode(wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
        layout.setText(text);
        layout.setFont(runs.front().font.font(device));
        layout.setFormats(formats);
        layout.setTextOption(option);
        layout.beginLayout();
        Lines lines;
        for (int count = 0; m_options.lineLimit <= 0 || count < m_options.lineLimit; ++count) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) {
                break;
            }
            line.setLineWidth(wraps ? *width : 1e6);
            if (count > 0) {
                lines.height += m_options.lineSpacing;
            } else {
                lines.baseline = line.ascent();
            }
            line.setPosition(QPointF(0, lines.height));
            lines.height += line.height();
            lines.width = std::max(lines.width, line.naturalTextWidth());
        }
        layout.endLayout();
        return lines;
    }

    // The runs cut to the longest start that fits `width` with an ellipsis after it.
    QList<Run> elided(const QTextLayout& layout, double width, const QPaintDevice* device) const
    {
        const QTextLine line = layout.lineAt(0);
        const auto runAt = [this](int position) {
            int start = 0;
            for (int i = 0; i < m_runs.size(); ++i) {
                start += static_cast<int>(m_runs[i].text.size());
                if (position < start) {
                    return i;
                }
            }
            return static_cast<int>(m_runs.size()) - 1;
        };
        const QString ellipsis(QChar(0x2026));
        int keep = line.textLength();
        for (; keep > 0; --keep) {
            const Run& last = m_runs[runAt(keep - 1)];
            const double tail = QFontMetricsF(last.font.font(device), device).horizontalAdvance(ellipsis);
            if (line.cursorToX(keep) + tail <= width) {
                break;
            }
        }
        QList<Run> cut;
        int left = keep;
        for (const Run& run : m_runs) {
            if (left <= 0) {
                break;
            }
            cut.append(run);
            cut.last().text.truncate(left);
            left -= static_cast<int>(run.text.size());
        }
        if (cut.isEmpty()) {
            cut.append(m_runs.front());
            cut.last().text.clear();
        }
        cut.last().text += ellipsis;
        return cut;
    }

    QList<Run> m_runs;
    TextOptions m_options;
};

class SymbolNode final : public Node
{
public:
    SymbolNode(QString name, double pointSize, QColor color, kit::FontWeight weight)
        : m_name(std::move(name))
        , m_pointSize(pointSize)
        , m_color(std::move(color))
        , m_weight(weight)
    {}

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        kit::paintSymbol(painter, m_name, rect, m_color, m_weight);
    }

protected:
    QSizeF compute(const Proposal& /*proposal*/) const override
    {
        const double side = kit::symbolSide(m_pointSize);
        return {side, side};
    }

private:
    QString m_name;
    double m_pointSize;
    QColor m_color;
    kit::FontWeight m_weight;
};

class ImageNode final : public Node
{
public:
    explicit ImageNode(QString name)
        : m_name(std::move(name))
    {}

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        const double side = std::min(rect.width(), rect.height());
        kit::paintImageAsset(
            painter, m_name, QRectF(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side)));
    }

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        return {proposal.width.value_or(10), proposal.height.value_or(10)};
    }

private:
    QString m_name;
};

class ShapeNode final : public Node
{
public:
    enum class Style
    {
        Fill,
        Stroke,
        StrokeBorder
    };

    ShapeNode(const Shape& shape, Style style, QBrush brush, double lineWidth)
        : m_shape(shape)
        , m_style(style)
        , m_brush(std::move(brush))
        , m_lineWidth(lineWidth)
    {}

    QMarginsF overflow() const override
    {
        const double half = m_style == Style::Stroke ? m_lineWidth / 2 : 0;
        return {half, half, half, half};
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (painter.hasClipping() && !mayTouch(painter.clipBoundingRect(), rect)) {
            return;
        }
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_style == Style::Fill) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(m_brush);
            painter.drawPath(m_shape.path(rect));
        } else if (m_lineWidth > 0) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(m_brush, m_lineWidth));
            if (m_style == Style::Stroke) {
                painter.drawPath(m_shape.path(rect));
            } else {
                // Inside the outline: the same shape inset by half the line, its corners eased.
                const double half = m_lineWidth / 2;
                Shape inner = m_shape;
                inner.radius = std::max(0.0, inner.radius - half);
                painter.drawPath(inner.path(rect.adjusted(half, half, -half, -half)));
            }
        }
        painter.restore();
    }

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        return {proposal.width.value_or(10), proposal.height.value_or(10)};
    }

private:
    // Whether drawing the shape in `rect` can change a pixel inside `clip`. A stroke runs along
    // the outline only, so a repaint well inside the shape (a dot pulsing inside a bordered
    // screen) misses it. Antialiasing reaches a device pixel past the drawing, at most a point.
    bool mayTouch(const QRectF& clip, const QRectF& rect) const
    {
        constexpr double kFringe = 1;
        if (!rect.marginsAdded(overflow() + QMarginsF(kFringe, kFringe, kFringe, kFringe)).intersects(clip)) {
            return false;
        }
        if (m_style == Style::Fill) {
            return true;
        }
        const double inset = (m_style == Style::Stroke ? m_lineWidth / 2 : m_lineWidth) + kFringe;
        const QRectF inside = rect.adjusted(inset, inset, -inset, -inset);
        if (inside.isEmpty()) {
            return true;
        }
        Shape hole = m_shape;
        hole.radius = std::max(0.0, hole.radius - inset);
        return !hole.path(inside).contains(clip);
    }

    Shape m_shape;
    Style m_style;
    QBrush m_brush;
    double m_lineWidth;
};

// -- Containers --------------------------------------------------------------------------------

class StackNode final : public Node
{
public:
    StackNode(Qt::Orientation axis, Qt::Alignment alignment, double spacing, QList<Item> children)
        : m_axis(axis)
        , m_alignment(alignment)
        , m_spacing(spacing)
        , m_children(std::move(children))
    {}

    double baseline(const QSizeF& size) const override
    {
        if (m_children.isEmpty()) {
            return size.height();
        }
        const Arrangement a = arrange({size.width(), size.height()});
        return crossOffset(a, 0, size) + m_children.front().node().baseline(a.sizes.front());
    }

    QMarginsF overflow() const override
    {
        QMarginsF reach;
        for (const Item& child : m_children) {
            reach = unite(reach, child.overflow());
        }
        return reach;
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        const Arrangement a = arrange(proposalOf(rect));
        double along = 0;
        for (int i = 0; i < m_children.size(); ++i) {
            const QSizeF& size = a.sizes[static_cast<std::size_t>(i)];
            const double cross = crossOffset(a, i, rect.size());
            const QPointF at = m_axis == Qt::Horizontal ? QPointF(along, cross) : QPointF(cross, along);
            m_children[i].paint(painter, QRectF(rect.topLeft() + at, size));
            along += alongOf(size) + m_spacing;
        }
    }

protected:
    QSizeF compute(const Proposal& proposal) const override { return arrange(proposal).total; }

private:
    struct Arrangement
    {
        std::vector<QSizeF> sizes;
        std::vector<double> baselineOffsets; // horizontal baseline alignment only
        QSizeF total;
    };

    double alongOf(const QSizeF& s) const { return m_axis == Qt::Horizontal ? s.width() : s.height(); }
    double crossOf(const QSizeF& s) const { return m_axis == Qt::Horizontal ? s.height() : s.width(); }
    Proposal make(std::optional<double> along, std::optional<double> cross) const
    {
        return m_axis == Qt::Horizontal ? Proposal{along, cross} : Proposal{cross, along};
    }
    bool alignsBaselines() const { return m_axis == Qt::Horizontal && (m_alignment & Qt::AlignBaseline); }

    double crossOffset(const Arrangement& a, int i, const QSizeF& stackSize) const
    {
        if (alignsBaselines()) {
            return a.baselineOffsets[static_cast<std::size_t>(i)];
        }
        const auto orientation = m_axis == Qt::Horizontal ? Qt::Vertical : Qt::Horizontal;
        return alignedOffset(
            crossOf(stackSize) - crossOf(a.sizes[static_cast<std::size_t>(i)]), m_alignment, orientation);
    }

    // Shares the room along the axis: spacers' minimum lengths are set aside, the other children
    // take an equal share of what is left in order of flexibility (least first, so a fixed child
    // gets what it needs and a flexible one the rest), then spacers split what remains.
    Arrangement arrange(const Proposal& proposal) const
    {
        Arrangement a;
        const std::size_t n = static_cast<std::size_t>(m_children.size());
        a.sizes.resize(n);
        const auto along = m_axis == Qt::Horizontal ? proposal.width : proposal.height;
        const auto cross = m_axis == Qt::Horizontal ? proposal.height : proposal.width;
        const double spacing = n > 1 ? m_spacing * static_cast<double>(n - 1) : 0;

        std::vector<std::size_t> spacers;
        std::vector<std::pair<double, std::size_t>> others; // flexibility, index
        double reserved = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Node& child = m_children[static_cast<int>(i)].node();
            if (const auto min = child.spacerMinLength()) {
                spacers.push_back(i);
                reserved += *min;
            } else if (along) {
                const double least = alongOf(child.size(make(0.0, cross)));
                const double most = alongOf(child.size(make(kInfinity, cross)));
                const double flexibility = most - least;
                others.emplace_back(std::isnan(flexibility) ? kInfinity : flexibility, i);
            } else {
                a.sizes[i] = child.size(make(std::nullopt, cross));
            }
        }
        double remaining = along ? *along - spacing - reserved : 0;
        if (along) {
            std::stable_sort(
                others.begin(), others.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
            std::size_t left = others.size();
            for (const auto& [flexibility, i] : others) {
                const double share = std::max(0.0, remaining / static_cast<double>(left));
                a.sizes[i] = m_children[static_cast<int>(i)].node().size(make(share, cross));
                remaining -= alongOf(a.sizes[i]);
                --left;
            }
        }
        const double spare = std::max(0.0, remaining + reserved);
        for (const std::size_t i : spacers) {
            const double min = *m_children[static_cast<int>(i)].node().spacerMinLength();
            const double length = along ? std::max(min, spare / static_cast<double>(spacers.size())) : min;
            a.sizes[i] = m_axis == Qt::Horizontal ? QSizeF(length, 0) : QSizeF(0, length);
        }

        double total = spacing;
        double crossTotal = 0;
        for (const QSizeF& size : a.sizes) {
            total += alongOf(size);
            crossTotal = std::max(crossTotal, crossOf(size));
        }
        if (alignsBaselines()) {
            std::vector<double> baselines(n, 0);
            double highest = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (!m_children[static_cast<int>(i)].node().spacerMinLength()) {
                    baselines[i] = m_children[static_cast<int>(i)].node().baseline(a.sizes[i]);
                    highest = std::max(highest, baselines[i]);
                }
            }
            crossTotal = 0;
            for (std::size_t i = 0; i < n; ++i) {
                a.baselineOffsets.push_back(highest - baselines[i]);
                crossTotal = std::max(crossTotal, highest - baselines[i] + a.sizes[i].height());
            }
        }
        a.total = m_axis == Qt::Horizontal ? QSizeF(total, crossTotal) : QSizeF(crossTotal, total);
        return a;
    }

    Qt::Orientation m_axis;
    Qt::Alignment m_alignment;
    double m_spacing;
    QList<Item> m_children;
};

class ZStackNode final : public Node
{
public:
    ZStackNode(Qt::Alignment alignment, QList<Item> children)
        : m_alignment(alignment)
        , m_children(std::move(children))
    {}

    QMarginsF overflow() const override
    {
        QMarginsF reach;
        for (const Item& child : m_children) {
            reach = unite(reach, child.overflow());
        }
        return reach;
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        for (const Item& child : m_children) {
            child.paint(painter, alignedRect(child.sizeThatFits(proposalOf(rect)), rect, m_alignment));
        }
    }

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        QSizeF total(0, 0);
        for (const Item& child : m_children) {
            total = total.expandedTo(child.sizeThatFits(proposal));
        }
        return total;
    }

private:
    Qt::Alignment m_alignment;
    QList<Item> m_children;
};

// -- Modifiers ---------------------------------------------------------------------------------

class Modifier : public Node
{
public:
    explicit Modifier(Item child)
        : m_child(std::move(child))
    {}

    double baseline(const QSizeF& size) const override { return child().baseline(size); }
    QMarginsF overflow() const override { return child().overflow(); }
    void paint(QPainter& painter, const QRectF& rect) const override { child().paint(painter, rect); }

protected:
    QSizeF compute(const Proposal& proposal) const override { return child().size(proposal); }
    const Node& child() const { return m_child.node(); }

private:
    Item m_child;
};

class PaddingNode final : public Modifier
{
public:
    PaddingNode(Item child, const QMarginsF& insets)
        : Modifier(std::move(child))
        , m_insets(insets)
    {}

    double baseline(const QSizeF& size) const override
    {
        return m_insets.top() + child().baseline(inner(size));
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        child().paint(painter, rect.marginsRemoved(m_insets));
    }

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        const double h = m_insets.left() + m_insets.right();
        const double v = m_insets.top() + m_insets.bottom();
        const QSizeF size = child().size({shrunk(proposal.width, h), shrunk(proposal.height, v)});
        return {size.width() + h, size.height() + v};
    }

private:
    QSizeF inner(const QSizeF& size) const
    {
        return {std::max(0.0, size.width() - m_insets.left() - m_insets.right()),
                std::max(0.0, size.height() - m_insets.top() - m_insets.bottom())};
    }

    QMarginsF m_insets;
};

// Places its child, sized by a proposal made from its own rectangle, aligned inside it.
class PlacingModifier : public Modifier
{
public:
    PlacingModifier(Item child, Qt::Alignment alignment)
        : Modifier(std::move(child))
        , m_alignment(alignment)
    {}

    double baseline(const QSizeF& size) const override
    {
        const QRectF placed = childRect(QRectF(QPointF(), size));
        return placed.top() + child().baseline(placed.size());
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        child().paint(painter, childRect(rect));
    }

protected:
    virtual Proposal childProposal(const Proposal& own) const = 0;

private:
    QRectF childRect(const QRectF& rect) const
    {
        return alignedRect(child().size(childProposal(proposalOf(rect))), rect, m_alignment);
    }

    Qt::Alignment m_alignment;
};

class FixedFrameNode final : public PlacingModifier
{
public:
    FixedFrameNode(Item child, std::optional<double> width, std::optional<double> height, Qt::Alignment a)
        : PlacingModifier(std::move(child), a)
        , m_width(width)
        , m_height(height)
    {}

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        const QSizeF size = child().size(childProposal(proposal));
        return {m_width.value_or(size.width()), m_height.value_or(size.height())};
    }

    Proposal childProposal(const Proposal& own) const override
    {
        return {m_width ? m_width : own.width, m_height ? m_height : own.height};
    }

private:
    std::optional<double> m_width;
    std::optional<double> m_height;
};

class FlexFrameNode final : public PlacingModifier
{
public:
    FlexFrameNode(Item child, const FlexBounds& bounds, Qt::Alignment a)
        : PlacingModifier(std::move(child), a)
        , m_bounds(bounds)
    {}

protected:
    QSizeF compute(const Proposal& proposal) const override
    {
        const QSizeF size = child().size(childProposal(proposal));
        return {resolve(size.width(), proposal.width, m_bounds.minWidth, m_bounds.maxWidth),
                resolve(size.height(), proposal.height, m_bounds.minHeight, m_bounds.maxHeight)};
    }

    Proposal childProposal(const Proposal& own) const override
    {
        return {clamped(own.width, m_bounds.minWidth, m_bounds.maxWidth),
                clamped(own.height, m_bounds.minHeight, m_bounds.maxHeight)};
    }

private:
    static std::optional<double>
    clamped(std::optional<double> proposed, std::optional<double> min, std::optional<double> max)
    {
        if (!proposed) {
            return proposed;
        }
        double value = *proposed;
        if (max) {
            value = std::min(value, *max);
        }
        if (min) {
            value = std::max(value, *min);
        }
        return value;
    }

    // Within the bounds the frame takes the room offered, or its child's size where nothing is
    // offered.
    static double resolve(double child,
                          std::optional<double> proposed,
                          std::optional<double> min,
                          std::optional<double> max)
    {
        double size = child;
        const double offered = proposed.value_or(child);
        if (min) {
            size = std::max(*min, std::min(size, offered));
        }
        if (max) {
            size = std::min(*max, std::max(size, offered));
        }
        return size;
    }

    FlexBounds m_bounds;
};

class FixedSizeNode final : public PlacingModifier
{
public:
    FixedSizeNode(Item child, bool horizontal, bool vertical)
        : PlacingModifier(std::move(child), Qt::AlignCenter)
        , m_horizontal(horizontal)
        , m_vertical(vertical)
    {}

protected:
    QSizeF compute(const Proposal& proposal) const override { return child().size(childProposal(proposal)); }

    Proposal childProposal(const Proposal& own) const override
    {
        return {m_horizontal ? std::nullopt : own.width, m_vertical ? std::nullopt : own.height};
    }

private:
    bool m_horizontal;
    bool m_vertical;
};

class LayeredNode final : public Modifier
{
public:
    LayeredNode(Item child, Item layer, Qt::Alignment alignment, bool inFront)
        : Modifier(std::move(child))
        , m_layer(std::move(layer))
        , m_alignment(alignment)
        , m_inFront(inFront)
    {}

    QMarginsF overflow() const override { return unite(child().overflow(), m_layer.overflow()); }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        const QRectF layerRect = alignedRect(m_layer.sizeThatFits(proposalOf(rect)), rect, m_alignment);
        if (!m_inFront) {
            m_layer.paint(painter, layerRect);
        }
        child().paint(painter, rect);
        if (m_inFront) {
            m_layer.paint(painter, layerRect);
        }
    }

private:
    Item m_layer;
    Qt::Alignment m_alignment;
    bool m_inFront;
};

class ClipNode final : public Modifier
{
public:
    ClipNode(Item child, const Shape& shape)
        : Modifier(std::move(child))
        , m_shape(shape)
    {}

    QMarginsF overflow() const override { return {}; }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        drawLayer(painter, m_kept.get(painter, rect, [&] { return clipped(painter, rect); }));
    }

private:
    Layer clipped(QPainter& painter, const QRectF& rect) const
    {
        // Masked through a layer rather than a clip path, so the edge is anti-aliased.
        Layer layer = renderLayer(painter, rect, [&](QPainter& p) { child().paint(p, rect); });
        if (layer.image.isNull()) {
            return layer;
        }
        QImage mask(layer.image.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        mask.setDevicePixelRatio(layer.scale);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.translate(-rect.topLeft());
            p.fillPath(m_shape.path(rect), Qt::black);
        }
        {
            QPainter p(&layer.image);
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(QPointF(), mask);
        }
        return layer;
    }

    Shape m_shape;
    KeptPictures<Layer> m_kept;
};

class OpacityNode final : public Modifier
{
public:
    OpacityNode(Item child, double opacity)
        : Modifier(std::move(child))
        , m_opacity(std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0)
    {}

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (m_opacity <= 0) {
            return;
        }
        if (m_opacity >= 1) {
            child().paint(painter, rect);
            return;
        }
        // Faded as one picture, so overlapping parts do not show through each other.
        const Layer& layer = m_kept.get(painter, rect, [&] {
            return renderLayer(
                painter, rect.marginsAdded(overflow()), [&](QPainter& p) { child().paint(p, rect); });
        });
        painter.save();
        painter.setOpacity(painter.opacity() * m_opacity);
        drawLayer(painter, layer);
        painter.restore();
    }

private:
    double m_opacity;
    KeptPictures<Layer> m_kept;
};

class TransformNode final : public Modifier
{
public:
    TransformNode(Item child, QPointF offset, double scale)
        : Modifier(std::move(child))
        , m_offset(offset)
        , m_scale(std::isfinite(scale) ? scale : 1.0)
    {}

    QMarginsF overflow() const override
    {
        const QMarginsF reach = child().overflow();
        return {reach.left() + std::max(0.0, -m_offset.x()),
                reach.top() + std::max(0.0, -m_offset.y()),
                reach.right() + std::max(0.0, m_offset.x()),
                reach.bottom() + std::max(0.0, m_offset.y())};
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (m_scale == 0) {
            return;
        }
        painter.save();
        painter.translate(m_offset + rect.center());
        painter.scale(m_scale, m_scale);
        painter.translate(-rect.center());
        child().paint(painter, rect);
        painter.restore();
    }

private:
    QPointF m_offset;
    double m_scale;
};

class BlurNode final : public Modifier
{
public:
    BlurNode(Item child, double radius)
        : Modifier(std::move(child))
        , m_sigma(std::isfinite(radius) ? std::max(0.0, radius) / 2 : 0)
    {}

    QMarginsF overflow() const override
    {
        const double reach = 3 * m_sigma;
        return child().overflow() + QMarginsF(reach, reach, reach, reach);
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (m_sigma <= 0) {
            child().paint(painter, rect);
            return;
        }
        drawLayer(painter, m_kept.get(painter, rect, [&] {
            Layer layer = renderLayer(
                painter, rect.marginsAdded(overflow()), [&](QPainter& p) { child().paint(p, rect); });
            if (!layer.image.isNull()) {
                blurImage(layer.image, m_sigma * layer.scale);
            }
            return layer;
        }));
    }

private:
    double m_sigma;
    KeptPictures<Layer> m_kept;
};

class ShadowNode final : public Modifier
{
public:
    ShadowNode(Item child, const kit::Shadow& shadow)
        : Modifier(std::move(child))
        , m_shadow(shadow)
    {}

    QMarginsF overflow() const override { return unite(child().overflow(), m_shadow.reach()); }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (m_shadow.color.alpha() == 0) {
            child().paint(painter, rect);
            return;
        }
        const Pictures& pictures = m_kept.get(painter, rect, [&] { return draw(painter, rect); });
        if (pictures.content.image.isNull()) {
            return;
        }
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pictures.area.translated(m_shadow.offset), pictures.tinted);
        painter.restore();
        drawLayer(painter, pictures.content);
    }

private:
    // The content and its shadow, blurred and tinted, to be drawn over `area`.
    struct Pictures
    {
        Layer content;
        QImage tinted;
        QRectF area;
    };

    Pictures draw(QPainter& painter, const QRectF& rect) const
    {
        const double blur = 3 * std::max(0.0, m_shadow.sigma());
        const QRectF area = rect.marginsAdded(child().overflow() + QMarginsF(blur, blur, blur, blur));
        Pictures pictures{renderLayer(painter, area, [&](QPainter& p) { child().paint(p, rect); }), {}, area};
        const Layer& content = pictures.content;
        if (content.image.isNull()) {
            return pictures;
        }
        // The silhouette is blurred at no more than 6 pixels of deviation, then scaled up: a soft
        // shadow does not show the difference and a wide one stays cheap.
        const double sigma = m_shadow.sigma();
        const double maskScale = sigma > 0 ? std::min(content.scale, 6.0 / sigma) : content.scale;
        const QSize pixels(static_cast<int>(std::ceil(area.width() * maskScale)),
                           static_cast<int>(std::ceil(area.height() * maskScale)));
        QImage mask(pixels, QImage::Format_Alpha8);
        mask.fill(0);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRectF(QPointF(), QSizeF(pixels)), content.image);
        }
        kit::blurAlpha(mask, sigma * maskScale);
        pictures.tinted = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        pictures.tinted.fill(m_shadow.color);
        {
            QPainter p(&pictures.tinted);
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(0, 0, mask);
        }
        return pictures;
    }

    kit::Shadow m_shadow;
    KeptPictures<Pictures> m_kept;
};

template <typename T, typename... Args>
Item make(Args&&... args)
{
    return Item(std::make_shared<const T>(std::forward<Args>(args)...));
}

} // namespace

QPainterPath Shape::path(const QRectF& rect) const
{
    QPainterPath path;
    switch (kind) {
    case Kind::Rectangle:
        path.addRect(rect);
        break;
    case Kind::RoundedRectangle:
        path = kit::continuousRoundedRect(rect, radius);
        break;
    case Kind::Capsule:
        path = kit::capsule(rect);
        break;
    case Kind::Circle: {
        const double side = std::min(rect.width(), rect.height());
        path.addEllipse(QRectF(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side)));
        break;
    }
    case Kind::TopRounded: {
        // Round all four corners of a taller rectangle and cut its bottom off.
        QPainterPath whole = kit::continuousRoundedRect(rect.adjusted(0, 0, 0, radius), radius);
        QPainterPath box;
        box.addRect(rect);
        path = whole.intersected(box);
        break;
    }
    }
    return path;
}

Item::Item()
    : m_node(std::make_shared<const EmptyNode>())
{}

Item::Item(std::shared_ptr<const detail::Node> node)
    : m_node(node ? std::move(node) : std::make_shared<const EmptyNode>())
{}

QSizeF Item::sizeThatFits(const Proposal& proposal) const
{
    return m_node->size(proposal);
}

double Item::firstBaseline(const QSizeF& size) const
{
    return m_node->baseline(size);
}

QMarginsF Item::overflow() const
{
    return m_node->overflow();
}

void Item::paint(QPainter& painter, const QRectF& rect) const
{
    m_node->paint(painter, rect);
}

void Item::draw(QPainter& painter, const QRectF& bounds, Qt::Alignment alignment) const
{
    paint(painter, alignedRect(sizeThatFits(proposalOf(bounds)), bounds, alignment));
}

Item Item::padding(const QMarginsF& insets) const
{
    return make<PaddingNode>(*this, insets);
}

Item Item::frame(std::optional<double> width, std::optional<double> height, Qt::Alignment alignment) const
{
    return make<FixedFrameNode>(*this, width, height, alignment);
}

Item Item::frame(const FlexBounds& bounds, Qt::Alignment alignment) const
{
    return make<FlexFrameNode>(*this, bounds, alignment);
}

Item Item::fillWidth(Qt::Alignment alignment) const
{
    return frame(FlexBounds{.maxWidth = kInfinity}, alignment);
}

Item Item::fillSize(Qt::Alignment alignment) const
{
    return frame(FlexBounds{.maxWidth = kInfinity, .maxHeight = kInfinity}, alignment);
}

Item Item::fixedSize(bool horizontal, bool vertical) const
{
    return make<FixedSizeNode>(*this, horizontal, vertical);
}

Item Item::background(const Item& layer, Qt::Alignment alignment) const
{
    return make<LayeredNode>(*this, layer, alignment, false);
}

Item Item::background(const QBrush& fill, const Shape& shape) const
{
    return background(mock::fill(shape, fill));
}

Item Item::overlay(const Item& layer, Qt::Alignment alignment) const
{
    return make<LayeredNode>(*this, layer, alignment, true);
}

Item Item::border(const QColor& color, const Shape& shape, double width, bool inside) const
{
    return overlay(inside ? strokeBorder(shape, color, width) : stroke(shape, color, width));
}

Item Item::clip(const Shape& shape) const
{
    return make<ClipNode>(*this, shape);
}

Item Item::opacity(double opacity) const
{
    return make<OpacityNode>(*this, opacity);
}

Item Item::offset(double dx, double dy) const
{
    return make<TransformNode>(*this, QPointF(dx, dy), 1.0);
}

Item Item::scale(double factor) const
{
    return make<TransformNode>(*this, QPointF(), factor);
}

Item Item::blur(double radius) const
{
    return make<BlurNode>(*this, radius);
}

Item Item::shadow(const kit::Shadow& shadow) const
{
    return make<ShadowNode>(*this, shadow);
}

Item spacer(double minLength)
{
    return make<SpacerNode>(minLength);
}

Item text(const QList<Run>& runs, const TextOptions& options)
{
    return make<TextNode>(runs, options);
}

Item text(const QString& text, const OBFont& font, const QColor& color, const TextOptions& options)
{
    return make<TextNode>(QList<Run>{{text, font, color}}, options);
}

Item symbol(const QString& name, double pointSize, const QColor& color, kit::FontWeight weight)
{
    return make<SymbolNode>(name, pointSize, color, weight);
}

Item image(const QString& assetName)
{
    return make<ImageNode>(assetName);
}

Item fill(const Shape& shape, const QBrush& brush)
{
    return make<ShapeNode>(shape, ShapeNode::Style::Fill, brush, 0.0);
}

Item stroke(const Shape& shape, const QColor& color, double width)
{
    return make<ShapeNode>(shape, ShapeNode::Style::Stroke, QBrush(color), width);
}

Item strokeBorder(const Shape& shape, const QColor& color, double width)
{
    return make<ShapeNode>(shape, ShapeNode::Style::StrokeBorder, QBrush(color), width);
}

Item vstack(Qt::Alignment alignment, double spacing, const QList<Item>& children)
{
    return make<StackNode>(Qt::Vertical, alignment, spacing, children);
}

Item hstack(Qt::Alignment alignment, double spacing, const QList<Item>& children)
{
    return make<StackNode>(Qt::Horizontal, alignment, spacing, children);
}

Item zstack(Qt::Alignment alignment, const QList<Item>& children)
{
    return make<ZStackNode>(alignment, children);
}

} // namespace mock
