#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QHBoxLayout;

namespace kit {
class TextView;
}

// The sharing guide: how to share the Veilmox screen from a meeting app in three steps, then
// five tips. It holds no state: the popover lays it over its main page while the guide is open,
// and its close button and "Got it" call `onClose`. Main thread only.
class SharingGuideView final : public QWidget
{
    Q_OBJECT

public:
    explicit SharingGuideView(std::function<void()> onClose, QWidget* parent = nullptr);

    struct Step
    {
        QString number; // "01"
        bool highlighted = false;
        QString text; // with "**" emphasis
    };
    struct Tip
    {
        QString symbol;
        QString text;
    };
    static const QList<Step>& steps();
    static const QList<Tip>& tips();

    // The text views of the step rows and of the tip rows, in order.
    QList<kit::TextView*> stepTexts() const { return m_stepTexts; }
    QList<kit::TextView*> tipTexts() const { return m_tipTexts; }

private:
    QList<kit::TextView*> m_stepTexts;
    QList<kit::TextView*> m_tipTexts;
};
