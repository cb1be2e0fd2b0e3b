#pragma once

#include "shell/kit/AnimatedValue.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace kit {
class TextView;
} // namespace kit

// The numeric content transition of a text view's first line (the reaction time in a headline):
// when that line's text changes, what it keeps at its start stays put and what it keeps at its
// end slides to its new place, while the characters that changed roll upward, the old ones rising
// out as they fade and the new ones rising in from below. Without motion they only cross-fade.
// It lies over the view it animates and takes no input; the view holds the new text throughout
// and its first line is drawn here until the change is over. Owned by the view; main thread only.
class NumericTextTransition final : public QWidget
{
    Q_OBJECT

public:
    explicit NumericTextTransition(kit::TextView& text);

    // The view's first run has just become what it now holds, from `from`. A line that does not
    // fit on one line changes at once.
    void start(const QString& from, const kit::Animation& animation, bool moving);
    bool isRunning() const { return m_running; }

    // How far the changed characters travel, as a share of the line's height.
    static constexpr double kRise = 0.5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void finish();
    void setFirstRunColor(const QColor& color);

    QPointer<kit::TextView> m_text;
    QString m_from;
    QString m_to;
    QColor m_color; // the first run's own colour, kept while the view draws it clear
    bool m_moving = true;
    bool m_running = false;
    kit::AnimatedValue m_progress;
};
