#pragma once

#include "shell/kit/Typography.h"

#include <QWidget>

namespace kit {

// The tiny capital-letter badge: its text upper-cased in "GeistMono-Medium" 8.5 pt tracked by
// 1.36, flame-soft on flame-shade, inside a continuous rounded rectangle of radius 4 with a
// flame 0.22 inner border; 5 points of fill left and right, 2.5 above and below.
struct VeiledBadgeStyle
{
    static constexpr double kHorizontalPadding = 5;
    static constexpr double kVerticalPadding = 2.5;
    static constexpr double kCornerRadius = 4;

    static TextLook textLook();
    static QString displayText(const QString& text) { return text.toUpper(); }
    static QSizeF size(const QString& text, const QPaintDevice* device = nullptr);
    static void paint(QPainter& painter, const QRectF& rect, const QString& text);
};

class VeiledBadge final : public QWidget
{
    Q_OBJECT

public:
    explicit VeiledBadge(QString text, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString m_text;
};

} // namespace kit
