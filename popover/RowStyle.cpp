#include "popover/RowStyle.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"

#include <QBoxLayout>
#include <QSpacerItem>

QColor RowStyle::secondary()
{
    return kit::SecondaryWhite::caption(kit::increaseContrast());
}

QColor RowStyle::dim()
{
    return kit::SecondaryWhite::body(kit::increaseContrast());
}

QColor RowStyle::faint()
{
    return kit::SecondaryWhite::symbol(kit::increaseContrast());
}

QColor RowStyle::mix(const QColor& from, const QColor& to, double t)
{
    if (t <= 0) {
        return from;
    }
    return t >= 1 ? to : kit::mixColors(from, to, t);
}

kit::TextLook RowStyle::geist(double size, const QColor& color, kit::FontWeight weight, double tracking)
{
    kit::TextLook look;
    look.face = kit::geistFontName(weight);
    look.size = size;
    look.tracking = tracking;
    look.color = color;
    return look;
}

kit::TextLook RowStyle::monoMedium(double size, const QColor& color, double tracking)
{
    kit::TextLook look;
    look.face = kit::geistMonoFontName(kit::FontWeight::medium);
    look.size = size;
    look.tracking = tracking < 0 ? 0.2 * size : tracking;
    look.color = color;
    return look;
}

kit::Animation RowStyle::hoverAnimation()
{
    return kit::respectingReduceMotion(kit::Animation::standard(0.18));
}

kit::Animation RowStyle::hiddenAnimation()
{
    return kit::respectingReduceMotion(kit::Animation::standard(0.24));
}

kit::Animation RowStyle::layoutAnimation()
{
    return kit::respectingReduceMotion(kit::layoutSpring());
}

kit::Transition RowStyle::badgeTransition()
{
    return kit::Transition::scale(0.9).combined(kit::Transition::opacity());
}

void RowStyle::setTooltip(QWidget* view, const QString& text)
{
    const kit::TooltipSource* source = kit::TooltipSource::of(view);
    if (source == nullptr || source->text() != text) {
        kit::TooltipSource::attach(view, text);
    }
}

void RowStyle::addSpacer(QBoxLayout* row, int minimum, bool grows)
{
    const int length = minimum + row->spacing();
    const QSizePolicy::Policy policy = grows ? QSizePolicy::MinimumExpanding : QSizePolicy::Fixed;
    if (row->direction() == QBoxLayout::LeftToRight || row->direction() == QBoxLayout::RightToLeft) {
        row->addSpacerItem(new QSpacerItem(length, 0, policy, QSizePolicy::Minimum));
    } else {
        row->addSpacerItem(new QSpacerItem(0, length, QSizePolicy::Minimum, policy));
    }
}
