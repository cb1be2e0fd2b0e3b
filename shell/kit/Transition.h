#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ViewEffect.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <optional>

class QWidget;

namespace kit {

enum class Edge
{
    Leading,
    Trailing,
    Top,
    Bottom
};

// How a view enters and leaves: a fade, a move (from an edge by the view's own size, or by a
// distance), a scale about an anchor, a blur, or several of them at once, possibly different for
// entering and leaving. A pure description; `Presence` plays one.
class Transition
{
public:
    // Appears and disappears at once.
    static Transition identity();
    static Transition opacity();
    static Transition move(Edge edge);
    static Transition offset(QPointF by);
    // From `from` times its size (0.94, 0.5 …) about `anchor`, in unit coordinates of the view.
    static Transition scale(double from, QPointF anchor = QPointF(0.5, 0.5));
    static Transition blur(double radius);
    static Transition asymmetric(const Transition& insertion, const Transition& removal);

    // Both at once ("move from the top combined with opacity").
    Transition combined(const Transition& other) const;
    // The same, or a plain fade while Reduce Motion is on (read when the transition is used).
    Transition fadingUnderReduceMotion() const;
    // The transition to play now.
    Transition resolved() const;

    // A view of `size` at `presence` (0 gone, 1 in place) while entering or leaving.
    ViewPose pose(double presence, const QSizeF& size, bool inserting) const;

private:
    struct Part
    {
        enum class Kind
        {
            Opacity,
            Offset,
            Move,
            Scale,
            Blur
        };
        Kind kind = Kind::Opacity;
        QPointF vector;   // the offset, or the edge's direction for a move
        double value = 0; // the scale's start, or the blur's radius
        QPointF anchor{0.5, 0.5};
    };
    static Transition of(const Part& part);

    QList<Part> m_insertion;
    QList<Part> m_removal;
    bool m_fadesUnderReduceMotion = false;
};

// Puts a view on screen and takes it off with its transition, animated by the transaction's
// animation (or one given); without one the change is at once. The view is shown when it starts
// to enter and hidden once it has left; turned back mid-way, it continues from where it is.
// Owned by the view; main thread only.
class Presence final : public QObject
{
    Q_OBJECT

public:
    // The view's presence, made on first use (present unless the view was hidden).
    static Presence& of(QWidget* view);

    QWidget* view() const;
    const Transition& transition() const { return m_transition; }
    void setTransition(const Transition& transition) { m_transition = transition; }

    // Where it is going.
    bool isPresent() const { return m_present; }
    // Enters or leaves with the transaction's animation.
    void setPresent(bool present);
    void setPresent(bool present, const std::optional<Animation>& animation);
    // How far in it is drawn now: 0 gone … 1 in place.
    double presence() const { return m_presence.value(); }
    bool isAnimating() const { return m_presence.isAnimating(); }

signals:
    // On every frame of a change, and once at its end.
    void presenceChanged(double presence);
    // Taken off screen at the end of leaving.
    void removed();

private:
    explicit Presence(QWidget* view);
    void frame();

    Transition m_transition;
    Transition m_playing; // resolved when the change started
    bool m_present;
    AnimatedValue m_presence;
};

} // namespace kit
