#pragma once

#include "shell/kit/Drawing.h"
#include "shell/kit/ViewEffect.h"

#include <QColor>
#include <QList>
#include <QWidget>

struct OBFont;
namespace kit {
class TextView;
} // namespace kit

// The rounded card the last steps set their content on: a fill, a 1-point border inside its edge
// drawn over the content (a band that reaches the card's sides never hides it), and a shadow
// that may change while shown. The content goes in the card's layout. Main thread only.
class StepCard final
    : public QWidget
    , public kit::SelfPainted
{
    Q_OBJECT

public:
    StepCard(const QColor& fill, const QColor& border, double corner, QWidget* parent = nullptr);

    const kit::Shadow& shadow() const { return m_shadow; }
    void setShadow(const kit::Shadow& shadow);
    // How far any shadow it will be given may reach, so the look's reach never changes mid-way.
    void setShadowReach(const QMarginsF& reach);

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    QColor m_fill;
    double m_corner;
    kit::Shadow m_shadow;
    QMarginsF m_reach;
    QWidget* m_border = nullptr;
};

// A strip of a card that paints its own background, with the card's rounded corners when it is
// the card's last, and optionally a 1-point rule along its bottom.
class CardBand final : public QWidget
{
    Q_OBJECT

public:
    struct Look
    {
        QColor background;       // none when invalid
        QColor bottomRule;       // none when invalid
        double bottomCorner = 0; // the card's radius when the band is the card's last
    };

    explicit CardBand(const Look& look, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look m_look;
};

// A colour at `opacity` times its own opacity.
QColor faded(QColor color, double opacity);
// A text of the steps' copy that wraps and always shows all its lines.
kit::TextView* wrappingText(const QString& text, const OBFont& font, const QColor& color, double lineSpacing);

// Lays a step out as the last steps are: two columns side by side, 60 points apart, vertically
// centred, the pair centred in the step. The columns' widths are their own (a maximum or a
// fixed width set by the caller).
void layOutStepColumns(QWidget* step, QWidget* left, QWidget* right);
// A column of views stacked at `spacing`, leading aligned, at most `maxWidth` wide.
QWidget* makeStepColumn(int maxWidth, int spacing, const QList<QWidget*>& views);
