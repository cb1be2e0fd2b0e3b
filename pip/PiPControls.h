#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Typography.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QHBoxLayout;

namespace kit {
class SymbolView;
class TextLabel;
} // namespace kit

// The small frosted capsule of the picture-in-picture panel that carries a status or a count: a
// row of an icon or dot and a mono text, outlined in its tint (white when it has none). Reduce
// Transparency makes it solid; read at each paint. Main thread only.
class GlassPill final : public QWidget
{
    Q_OBJECT

public:
    explicit GlassPill(std::optional<QColor> tint = std::nullopt, QWidget* parent = nullptr);

    std::optional<QColor> tint() const { return m_tint; }
    QHBoxLayout* contentLayout() const { return m_layout; }
    // Appends a symbol at the pills' icon size, or a text in the pills' mono look.
    kit::SymbolView* addSymbol(const QString& name);
    kit::TextLabel* addText(const QString& text);

    // "GeistMono-Medium" at 8, tracking 1.6, white at 0.92.
    static kit::TextLook textLook();
    static QColor outline(std::optional<QColor> tint);

    static constexpr double kSpacing = 5;
    static constexpr double kHorizontalPadding = 7;
    static constexpr double kVerticalPadding = 4;
    static constexpr double kSymbolPointSize = 7.5;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::optional<QColor> m_tint;
    QHBoxLayout* m_layout;
    QImage m_capsule;
    bool m_capsuleSolid = false;
};

// One round icon button of the panel's chrome: a 22-point glass disc with a symbol, with flame
// behind the glass and a dark glyph while active, with its help as tooltip. Main thread only.
class ChromeButton final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    ChromeButton(const QString& icon,
                 const QString& help,
                 bool isActive,
                 std::function<void()> action,
                 QWidget* parent = nullptr);

    QString icon() const { return m_icon; }
    QString help() const { return m_help; }
    bool isActive() const { return m_isActive; }
    // The look and the tooltip follow at once.
    void setLook(const QString& icon, const QString& help, bool isActive);

    static QColor glyphColor(bool isActive);
    static QColor outline(bool isHovered);

    static constexpr double kSide = 22;
    static constexpr double kSymbolPointSize = 9.5;

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;

private:
    QString m_icon;
    QString m_help;
    bool m_isActive;
};
