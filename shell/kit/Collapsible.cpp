#include "shell/kit/Collapsible.h"

#include <QEvent>

#include <algorithm>
#include <cmath>

namespace kit {

Collapsible::Collapsible(QWidget* content, bool expanded, QWidget* parent)
    : QWidget(parent)
    , m_content(content)
{
    setObjectName(QStringLiteral("Collapsible"));
    // Not fixed: a fixed height is capped at the height for the content's ideal width, which cuts
    // wrapped content short when the view is narrower.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    content->setParent(this);
    content->setVisible(expanded);
    Presence& presence = Presence::of(content);
    presence.setTransition(Transition::opacity());
    connect(&presence, &Presence::presenceChanged, this, [this] {
        updateGeometry();
        placeContent();
    });
    placeContent();
}

void Collapsible::setTransition(const Transition& transition)
{
    Presence::of(m_content).setTransition(transition);
}

bool Collapsible::isExpanded() const
{
    return Presence::of(m_content).isPresent();
}

void Collapsible::setExpanded(bool expanded)
{
    Presence::of(m_content).setPresent(expanded);
}

void Collapsible::setExpanded(bool expanded, const std::optional<Animation>& animation)
{
    Presence::of(m_content).setPresent(expanded, animation);
}

double Collapsible::expansion() const
{
    return Presence::of(m_content).presence();
}

int Collapsible::contentHeight(int width) const
{
    int height =
        m_content->hasHeightForWidth() ? m_content->heightForWidth(width) : m_content->sizeHint().height();
    height = std::max(height, m_content->minimumSizeHint().height());
    return std::clamp(height, m_content->minimumHeight(), m_content->maximumHeight());
}

QSize Collapsible::sizeHint() const
{
    const QSize full = m_content->sizeHint();
    return {full.width(), heightForWidth(full.width())};
}

QSize Collapsible::minimumSizeHint() const
{
    return {m_content->minimumSizeHint().width(), sizeHint().height()};
}

int Collapsible::heightForWidth(int width) const
{
    // A spring may pass its end a little; the height never goes below nothing. Closed, the
    // content is not measured at all: a long list of closed rows lays out as cheaply as it looks.
    const double open = expansion();
    if (open <= 0) {
        return 0;
    }
    return static_cast<int>(std::ceil(std::max(contentHeight(width) * open, 0.0)));
}

bool Collapsible::event(QEvent* e)
{
    // The content's own height changed (a note inside it went, a text wrapped anew): with no
    // layout of its own to tell, this view takes the new height and passes it on itself.
    if (e->type() == QEvent::LayoutRequest) {
        updateGeometry();
        placeContent();
    }
    return QWidget::event(e);
}

void Collapsible::resizeEvent(QResizeEvent* /*e*/)
{
    placeContent();
}

void Collapsible::placeContent()
{
    m_content->setGeometry(0, 0, width(), contentHeight(width()));
}

} // namespace kit
