#pragma once

#include "platform/Services.h"
#include "platform/Window.h"
#include "shell/kit/AnimatedValue.h"

#include <QObject>
#include <QSizeF>
#include <QString>

#include <memory>

// The picture-in-picture controller: owns the floating preview panel, which is never captured and
// floats above all windows on every space. One shared instance lives from its first use to the
// end of the process; main thread only.
//
// For now it offers what the shell and the popover need: showing and hiding the panel at its
// corner (the bottom-right one of the main screen) with a fade, and the auto-show choice; the
// preview, docking and share reaction come later.
class PiPController final : public QObject
{
    Q_OBJECT

public:
    explicit PiPController(const platform::Services& services, QObject* parent = nullptr);
    ~PiPController() override;
    PiPController(const PiPController&) = delete;
    PiPController& operator=(const PiPController&) = delete;

    // The process-wide instance, made on first use with the process's services.
    static PiPController& shared();

    // User-defaults keys: whether the panel was shown; whether a detected share opens it.
    static inline const QString visibleKey = QStringLiteral("pipVisible");
    static inline const QString autoShowKey = QStringLiteral("pipAutoShowOnShare");

    bool isVisible() const { return m_isVisible; }
    void setIsVisible(bool value);

    // Whether a detected share opens the panel; true unless a stored choice says otherwise. The
    // setter only publishes: the settings switch stores the value under autoShowKey itself.
    bool autoShowOnShare() const { return m_autoShowOnShare; }
    void setAutoShowOnShare(bool value);

    // True while the panel is open because a detected share opened it; every show or hide the
    // user asks for clears it first.
    bool openedBySharing() const { return m_openedBySharing; }
    void setOpenedBySharing(bool value) { m_openedBySharing = value; }

    // Makes the panel on first use, records it as shown, places it at its corner and fades it
    // in. Never fails.
    void show();

    // Records the panel as hidden and fades it out (at once under Reduce Motion); a show during
    // the fade keeps it on screen. Nothing while there is no panel.
    void hide();

    // The panel; null until the first show.
    platform::Window* panel() const { return m_panel.get(); }

    static constexpr QSizeF kContentSize{320, 300};
    static constexpr qint64 kPanelLevel = 1001;
    static constexpr double kFadeDuration = 0.2;
    static constexpr double kHideDuration = 0.16;
    // Room between the panel and the edges of the visible frame.
    static constexpr double kCornerInset = 16;

signals:
    void isVisibleChanged(bool value);
    void autoShowOnShareChanged(bool value);

private:
    void makePanel();
    QRectF cornerFrame() const;

    platform::Services m_services;
    bool m_isVisible = false;
    bool m_autoShowOnShare = true;
    bool m_openedBySharing = false;
    std::unique_ptr<platform::Window> m_panel;
    kit::AnimatedValue m_alpha;
};
