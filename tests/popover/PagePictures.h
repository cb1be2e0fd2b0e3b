#pragma once

// Pictures of the popover's scrolling pages for the picture tests (see picturesFolder).
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QApplication>
#include <QScrollArea>

#include <gtest/gtest.h>

namespace testing_support {

// A point of a control in the coordinates of a view above it, from the control's left edge.
inline QPointF at(const QWidget& view, const QWidget* control, double fromLeft)
{
    return QPointF(control->mapTo(&view, QPoint(0, 0))) + QPointF(fromLeft, control->height() / 2.0);
}

// Renders `view` once `page` is tall enough to show all of its scrolling content.
inline QImage picture(QWidget& page, QWidget& view, const QString& name)
{
    // Pending layout changes first: they climb one level of views per round.
    for (int level = 0; level < 12; ++level) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    const auto* scroll = page.findChild<QScrollArea*>();
    const QWidget* content = scroll->widget();
    page.resize(page.width(), page.height() - scroll->height() + content->heightForWidth(page.width()));
    const QImage image = kit::renderView(view, 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

// A card's left border, drawn over its surface.
inline bool cardBorder(const QImage& image, const QWidget& view, const QWidget* card, bool active)
{
    return near(colorAt(image, at(view, card, 0.25)),
                over(kit::CardBackgroundStyle::border(active), kit::Palette::surface()));
}

inline QImage tile(const QColor& color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace testing_support
