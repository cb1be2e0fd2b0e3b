#include "shell/kit/ButtonBase.h"

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Motion.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QChildEvent>
#include <QEvent>
#include <QWidget>

namespace kit {

namespace {

// A kit button as assistive technologies see it: one pressable element without children, named
// as `spokenName` says.
class ButtonAccessible final : public QAccessibleWidget
{
public:
    explicit ButtonAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Button)
    {}

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            return button()->spokenName();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if (name == pressAction()) {
            button()->click();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    ButtonBase* button() const { return static_cast<ButtonBase*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("kit::ButtonBase") && object != nullptr && object->isWidgetType()) {
        return new ButtonAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

void collectNames(const QWidget* widget, QStringList& names)
{
    for (const QObject* child : widget->children()) {
        if (!child->isWidgetType()) {
            continue;
        }
        const auto* w = static_cast<const QWidget*>(child);
        if (w->isHidden()) {
            continue;
        }
        if (!w->accessibleName().isEmpty()) {
            names.append(w->accessibleName());
        } else {
            collectNames(w, names);
        }
    }
}

} // namespace

ButtonBase::ButtonBase(QWidget* parent)
    : QAbstractButton(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    static_cast<void>(installed);
    setAttribute(Qt::WA_Hover);
    // Views inside fill their background (when they fill it) with their window colour, as they
    // would anywhere else, not with the button colour they would take from a button.
    setBackgroundRole(QPalette::Window);
    hostLook(this);
}

ButtonBase::~ButtonBase()
{
    setGraphicsEffect(nullptr);
}

QString ButtonBase::spokenName() const
{
    if (!accessibleName().isEmpty()) {
        return accessibleName();
    }
    if (!text().isEmpty()) {
        return text();
    }
    QStringList names;
    collectNames(this, names);
    return names.join(QStringLiteral(", "));
}

std::optional<ContentPlacement> ButtonBase::contentPlacement() const
{
    // Most buttons hold no views; they skip rendering their (empty) contents.
    for (const QObject* child : children()) {
        if (child->isWidgetType() && !static_cast<const QWidget*>(child)->isHidden()) {
            return labelPlacement();
        }
    }
    return std::nullopt;
}

bool ButtonBase::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        m_hovered = true;
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
        m_hovered = false;
        break;
    case QEvent::ChildAdded:
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child())) {
            // The label's views draw only: the button keeps the hits and the focus.
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
            child->setFocusPolicy(Qt::NoFocus);
        }
        break;
    default:
        break;
    }
    const bool handled = QAbstractButton::event(e);
    sync();
    return handled;
}

void ButtonBase::paintEvent(QPaintEvent* /*e*/)
{
    // Everything is painted by the view's effect (unless another took its place).
    paintLookIfUnhosted(this);
}

void ButtonBase::sync()
{
    const bool pressed = isDown();
    if (pressed != m_pressed || m_lastHovered != m_hovered) {
        m_pressed = pressed;
        m_lastHovered = m_hovered;
        interactionChanged();
        update();
    }
}

void ButtonBase::followInteraction(AnimatedValue& hover, AnimatedValue& press, double duration)
{
    const Animation animation = respectingReduceMotion(Animation::standard(duration));
    const double hovered = isHovered() ? 1 : 0;
    if (hovered != hover.target()) {
        hover.animate(hovered, animation);
    }
    const double pressed = isPressed() ? 1 : 0;
    if (pressed != press.target()) {
        press.animate(pressed, animation);
    }
}

} // namespace kit
