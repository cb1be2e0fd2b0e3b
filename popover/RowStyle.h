#pragma once

#include "shell/kit/Motion.h"
#include "shell/kit/Transition.h"
#include "shell/kit/Typography.h"

#include <QColor>
#include <QString>

class QBoxLayout;
class QWidget;

// The looks and motions the popover's rows and cards share. Colours that rise with Increase
// Contrast read the setting at the moment of the call.
struct RowStyle
{
    // White at 0.52 (0.78): captions and secondary lines.
    static QColor secondary();
    // White at 0.55 (0.9): body text.
    static QColor dim();
    // White at 0.46 (0.68): symbols and placeholders.
    static QColor faint();
    static QColor mix(const QColor& from, const QColor& to, double t);

    // Geist of a weight at a size.
    static kit::TextLook geist(double size,
                               const QColor& color,
                               kit::FontWeight weight = kit::FontWeight::regular,
                               double tracking = 0);
    // "GeistMono-Medium" at a size, tracked 0.2 × the size unless told otherwise.
    static kit::TextLook monoMedium(double size, const QColor& color, double tracking = -1);

    // The standard curve over 0.18 s (hover, choices) and 0.24 s (hidden state, preview), the
    // 0.15 s ease-in-out under Reduce Motion.
    static kit::Animation hoverAnimation();
    static kit::Animation hiddenAnimation();
    // The row spring of expansions and panels (the ease-in-out under Reduce Motion).
    static kit::Animation layoutAnimation();

    // A space of at least `minimum` points between two views of a row: the row's spacing stays on
    // both of its sides, as around any view of the row (Qt spaces an empty item only once).
    // `grows`: it also takes the row's free width.
    static void addSpacer(QBoxLayout* row, int minimum, bool grows = true);

    // Badges come and go scaled to 0.9 and faded.
    static kit::Transition badgeTransition();

    // Puts the tooltip on the view unless it already has this text.
    static void setTooltip(QWidget* view, const QString& text);
    // Sets a text view's text only when it differs, so an update that changes nothing lays
    // nothing out again.
    template <class View>
    static void setText(View* view, const QString& text)
    {
        if (view->text() != text) {
            view->setText(text);
        }
    }
};
