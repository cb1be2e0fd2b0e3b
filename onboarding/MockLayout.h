#pragma once

#include "onboarding/OBTokens.h"
#include "shell/kit/Drawing.h"

#include <QBrush>
#include <QColor>
#include <QList>
#include <QMarginsF>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <limits>
#include <memory>
#include <optional>

class QPainter;

// The paint-only pictures of other applications' windows that the onboarding shows (mail, chat,
// a share picker …) are described as data with these pieces and drawn with QPainter: stacks,
// text runs, symbols, shapes, and modifiers for padding, frames, backgrounds, overlays, clips and
// effects. Layout follows the rules of a declarative view system: a parent proposes a size, the
// child chooses its own, the parent places it. Main thread only (text layout).
namespace mock {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The spacing of a stack that names none.
inline constexpr double kDefaultSpacing = 8;

// What a parent offers a child in each dimension: none asks for the child's ideal size,
// infinity for its largest.
struct Proposal
{
    std::optional<double> width;
    std::optional<double> height;

    bool operator==(const Proposal&) const = default;
};

// An outline for fills, strokes and clips, fitted to a rectangle. Rounded corners are
// continuous; `topRounded` rounds only the two top corners (tabs, back strips).
struct Shape
{
    enum class Kind
    {
        Rectangle,
        RoundedRectangle,
        Capsule,
        Circle,
        TopRounded
    };

    Kind kind = Kind::Rectangle;
    double radius = 0;

    static Shape rect() { return {}; }
    static Shape rounded(double radius) { return {Kind::RoundedRectangle, radius}; }
    static Shape capsule() { return {Kind::Capsule, 0}; }
    // The largest circle centred in the rectangle.
    static Shape circle() { return {Kind::Circle, 0}; }
    static Shape topRounded(double radius) { return {Kind::TopRounded, radius}; }

    QPainterPath path(const QRectF& rect) const;
};

// A run of text in one font and colour; runs of one text are set as one paragraph.
struct Run
{
    QString text;
    OBFont font;
    QColor color;
};

struct TextOptions
{
    int lineLimit = 0;                       // 0: as many lines as the text needs
    double lineSpacing = 0;                  // extra points between lines
    Qt::Alignment alignment = Qt::AlignLeft; // of the lines within the text's width
};

// Bounds of a flexible frame; absent bounds do not constrain.
struct FlexBounds
{
    std::optional<double> minWidth = std::nullopt;
    std::optional<double> maxWidth = std::nullopt;
    std::optional<double> minHeight = std::nullopt;
    std::optional<double> maxHeight = std::nullopt;
};

namespace detail {
class Node;
} // namespace detail

// One piece of a picture. Immutable: modifiers return a new item around this one, and copies
// share their description.
class Item
{
public:
    // Nothing: no size, draws nothing.
    Item();
    explicit Item(std::shared_ptr<const detail::Node> node);

    QSizeF sizeThatFits(const Proposal& proposal) const;
    // Distance from the top to the first line of text's baseline, at this size (the bottom for
    // items without text).
    double firstBaseline(const QSizeF& size) const;
    // How far the drawing can reach beyond the item's rectangle (shadows, blurs, offsets).
    QMarginsF overflow() const;
    // Paints the item filling `rect`, which is a size the item chose.
    void paint(QPainter& painter, const QRectF& rect) const;
    // Offers the item the size of `bounds` and paints it at the size it takes, aligned there.
    void draw(QPainter& painter, const QRectF& bounds, Qt::Alignment alignment = Qt::AlignCenter) const;

    Item padding(double all) const { return padding(QMarginsF(all, all, all, all)); }
    Item padding(double horizontal, double vertical) const
    {
        return padding(QMarginsF(horizontal, vertical, horizontal, vertical));
    }
    Item padding(const QMarginsF& insets) const;
    // Exactly this wide and/or high; the content is proposed that size and aligned inside.
    Item frame(std::optional<double> width,
               std::optional<double> height,
               Qt::Alignment alignment = Qt::AlignCenter) const;
    Item frame(const FlexBounds& bounds, Qt::Alignment alignment = Qt::AlignCenter) const;
    // Takes all the width offered (a flexible frame of unbounded maximum width).
    Item fillWidth(Qt::Alignment alignment = Qt::AlignCenter) const;
    // Takes all the width and height offered.
    Item fillSize(Qt::Alignment alignment = Qt::AlignCenter) const;
    // Takes its ideal size in the chosen dimensions, whatever is offered.
    Item fixedSize(bool horizontal = true, bool vertical = true) const;
    // `layer` is offered this item's size and drawn behind it (or over it), aligned.
    Item background(const Item& layer, Qt::Alignment alignment = Qt::AlignCenter) const;
    Item background(const QBrush& fill, const Shape& shape = Shape::rect()) const;
    Item overlay(const Item& layer, Qt::Alignment alignment = Qt::AlignCenter) const;
    // An overlay of the shape stroked centred on its outline (half outside) or inside it.
    Item border(const QColor& color, const Shape& shape, double width = 1, bool inside = false) const;
    Item clip(const Shape& shape) const;
    Item opacity(double opacity) const;
    Item offset(double dx, double dy) const;
    // Scaled about the centre; the layout keeps the unscaled size.
    Item scale(double factor) const;
    Item blur(double radius) const;
    // A blurred, offset copy of the drawn content's silhouette behind it.
    Item shadow(const kit::Shadow& shadow) const;

    const detail::Node& node() const { return *m_node; }

private:
    std::shared_ptr<const detail::Node> m_node;
};

// Stretches along its stack's axis, never below `minLength`; takes only the space left over
// after the stack's other children.
Item spacer(double minLength = 0);
Item text(const QList<Run>& runs, const TextOptions& options = {});
Item text(const QString& text, const OBFont& font, const QColor& color, const TextOptions& options = {});
// A system symbol beside text of `pointSize`; a name without a drawing takes its room blank.
Item symbol(const QString& name,
            double pointSize,
            const QColor& color,
            kit::FontWeight weight = kit::FontWeight::regular);
// An image asset of the application (its assets are square), drawn in the largest centred square
// of the room it is offered (10 points where none is proposed).
Item image(const QString& assetName);
// Shapes take all the room they are offered (10 points where none is proposed).
Item fill(const Shape& shape, const QBrush& brush);
Item stroke(const Shape& shape, const QColor& color, double width = 1);
Item strokeBorder(const Shape& shape, const QColor& color, double width = 1);
// Stacks share the room along their axis among their children, least flexible first, and align
// them across it. `alignment` is the cross-axis alignment; a horizontal stack also takes
// Qt::AlignBaseline (first text baselines in line).
Item vstack(Qt::Alignment alignment, double spacing, const QList<Item>& children);
Item hstack(Qt::Alignment alignment, double spacing, const QList<Item>& children);
// Children on top of each other (later ones in front), each aligned in the largest one's size.
Item zstack(Qt::Alignment alignment, const QList<Item>& children);

} // namespace mock
