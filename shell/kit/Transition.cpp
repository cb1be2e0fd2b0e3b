#include "shell/kit/Transition.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Transaction.h"

#include <QWidget>

#include <algorithm>

namespace kit {

// ---- Transition

Transition Transition::of(const Part& part)
{
    Transition t;
    t.m_insertion = {part};
    t.m_removal = {part};
    return t;
}

Transition Transition::identity()
{
    return {};
}

Transition Transition::opacity()
{
    return of({Part::Kind::Opacity, {}, 0, {}});
}

Transition Transition::move(Edge edge)
{
    QPointF direction;
    switch (edge) {
    case Edge::Leading:
        direction = QPointF(-1, 0);
        break;
    case Edge::Trailing:
        direction = QPointF(1, 0);
        break;
    case Edge::Top:
        direction = QPointF(0, -1);
        break;
    case Edge::Bottom:
        direction = QPointF(0, 1);
        break;
    }
    return of({Part::Kind::Move, direction, 0, {}});
}

Transition Transition::offset(QPointF by)
{
    return of({Part::Kind::Offset, by, 0, {}});
}

Transition Transition::scale(double from, QPointF anchor)
{
    return of({Part::Kind::Scale, {}, from, anchor});
}

Transition Transition::blur(double radius)
{
    return of({Part::Kind::Blur, {}, radius, {}});
}

Transition Transition::asymmetric(const Transition& insertion, const Transition& removal)
{
    Transition t;
    t.m_insertion = insertion.m_insertion;
    t.m_removal = removal.m_removal;
    t.m_fadesUnderReduceMotion = insertion.m_fadesUnderReduceMotion || removal.m_fadesUnderReduceMotion;
    return t;
}

Transition Transition::combined(const Transition& other) const
{
    Transition t = *this;
    t.m_insertion += other.m_insertion;
    t.m_removal += other.m_removal;
    t.m_fadesUnderReduceMotion = m_fadesUnderReduceMotion || other.m_fadesUnderReduceMotion;
    return t;
}

Transition Transition::fadingUnderReduceMotion() const
{
    Transition t = *this;
    t.m_fadesUnderReduceMotion = true;
    return t;
}

Transition Transition::resolved() const
{
    return m_fadesUnderReduceMotion && reduceMotion() ? opacity() : *this;
}

ViewPose Transition::pose(double presence, const QSizeF& size, bool inserting) const
{
    const double gone = 1 - presence;
    ViewPose pose;
    for (const Part& part : inserting ? m_insertion : m_removal) {
        switch (part.kind) {
        case Part::Kind::Opacity:
            pose.opacity *= std::clamp(presence, 0.0, 1.0);
            break;
        case Part::Kind::Offset:
            pose.offset += part.vector * gone;
            break;
        case Part::Kind::Move:
            pose.offset += QPointF(part.vector.x() * size.width(), part.vector.y() * size.height()) * gone;
            break;
        case Part::Kind::Scale:
            pose.scale *= part.value + (1 - part.value) * presence;
            pose.anchor = part.anchor;
            break;
        case Part::Kind::Blur:
            pose.blurRadius += part.value * std::clamp(gone, 0.0, 1.0);
            break;
        }
    }
    return pose;
}

// ---- Presence

namespace {
// Shown, or to be shown with its parent.
bool isShownWithParent(const QWidget* view)
{
    return view->parentWidget() != nullptr ? view->isVisibleTo(view->parentWidget()) : view->isVisible();
}
} // namespace

Presence::Presence(QWidget* view)
    : QObject(view)
    , m_present(isShownWithParent(view))
    , m_presence(m_present ? 1.0 : 0.0)
{
    setObjectName(QStringLiteral("Presence"));
    m_presence.setOnChange([this] { frame(); });
}

Presence& Presence::of(QWidget* view)
{
    if (auto* existing = view->findChild<Presence*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *existing;
    }
    return *new Presence(view);
}

QWidget* Presence::view() const
{
    return static_cast<QWidget*>(parent());
}

void Presence::setPresent(bool present)
{
    setPresent(present, transactionAnimation());
}

void Presence::setPresent(bool present, const std::optional<Animation>& animation)
{
    if (present == m_present && !m_presence.isAnimating()) {
        return;
    }
    m_present = present;
    m_playing = m_transition.resolved();
    if (present) {
        view()->show();
    }
    m_presence.change(present ? 1.0 : 0.0, animation);
    if (!m_presence.isAnimating()) {
        frame(); // a change at once to where it already was notifies nothing
    }
}

void Presence::frame()
{
    const double now = m_presence.value();
    if (m_presence.isAnimating()) {
        ViewEffect::setPose(view(), m_playing.pose(now, QSizeF(view()->size()), m_present));
    } else {
        ViewEffect::setPose(view(), ViewPose());
        if (!m_present && isShownWithParent(view())) {
            view()->hide();
            emit presenceChanged(now);
            emit removed();
            return;
        }
    }
    emit presenceChanged(now);
}

} // namespace kit
