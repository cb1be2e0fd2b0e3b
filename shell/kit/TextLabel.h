#pragma once

#include "shell/kit/Typography.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <functional>

namespace kit {

// One line of text in a look of the kit. The look is asked for at every paint, so a look that
// reads the accessibility options (`monoMutedLabel`) follows them on the next redraw.
class TextLabel final : public QWidget
{
    Q_OBJECT

public:
    using LookProvider = std::function<TextLook()>;

    TextLabel(const QString& text, LookProvider look, QWidget* parent = nullptr);
    TextLabel(const QString& text, const TextLook& look, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    TextLook look() const { return m_look(); }
    void setLook(LookProvider look);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    // What a rasterised text shows: it is drawn again only when one of these changes.
    struct Drawn
    {
        QString text;
        QFont font;
        QColor color;
        QSize size;
        double scale = 0;
        bool operator==(const Drawn&) const = default;
    };

    // The text cut with "…" to the label's width, measured in the label's own font.
    QString elided(const QFont& font) const;
    void drawText(QPainter& painter, const QFont& font, const QColor& color, const QString& shown) const;

    QString m_text;
    LookProvider m_look;
    QImage m_picture;
    Drawn m_pictureOf;
};

} // namespace kit
