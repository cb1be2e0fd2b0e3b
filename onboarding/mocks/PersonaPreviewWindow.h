#pragma once

#include "onboarding/MockLayout.h"

#include <QColor>
#include <QString>

// The private window each goal would not want an audience to see, as a small dark mock window:
// a confidential e-mail, internal launch notes, a salary sheet, a personal chat. Paint-only
// data; the goal step's stage sizes and fades them.

enum class PersonaPreview
{
    Email,
    Notes,
    Finance,
    Chat
};

struct PersonaPreviewWindow
{
    PersonaPreview preview = PersonaPreview::Email;

    // "Mail", "Notes", "Sheets", "Messages".
    static QString app(PersonaPreview preview);
    mock::Item item() const;
};

// The dark chrome shared by the previews and the reveal windows: the app's name in the title
// bar, the content on the preview surface.
namespace mockwindow {
QColor surface();  // #131722
QColor titleBar(); // #191A22
mock::Item shell(const QString& app, const mock::Item& content);
// A full-width 1-point underline, laid along an edge of a row as an overlay.
mock::Item underline();
// The colour at `opacity` times its own.
QColor faded(const QColor& color, double opacity);
} // namespace mockwindow
