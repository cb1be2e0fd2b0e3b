#pragma once

#include "platform/Scheduler.h"
#include "platform/Screens.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Motion.h"
#include "state/ShellInterfaces.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

// The HUD toast: a small capsule near the top centre of the screen under the pointer that
// confirms for a moment a change of what the audience sees. It never takes focus or mouse
// events. Owns its panel (made on the first show and kept) and the values it shows; one shared
// instance lives from first use to the end of the process. Main thread only.
class HUDOverlayController final
    : public QObject
    , public HUDPresenter
{
    Q_OBJECT

public:
    explicit HUDOverlayController(const platform::Services& services, QObject* parent = nullptr);
    ~HUDOverlayController() override;
    HUDOverlayController(const HUDOverlayController&) = delete;
    HUDOverlayController& operator=(const HUDOverlayController&) = delete;

    static HUDOverlayController& shared();

    // Published values.
    bool isVisible() const { return m_isVisible; }
    const QString& appName() const { return m_appName; }
    const QImage& appIcon() const { return m_appIcon; }
    bool isVeiled() const { return m_isVeiled; }
    const std::optional<QString>& subtitle() const { return m_subtitle; }
    void setIsVisible(bool value);
    void setAppName(const QString& value);
    void setAppIcon(const QImage& value);
    void setIsVeiled(bool value);
    void setSubtitle(const std::optional<QString>& value);

    // Shows the toast with these values, under the pointer, and schedules its dismissal 1.3 s
    // later (2.5 s with a subtitle, even an empty one). Replaces a toast on screen, also one
    // that is fading out.
    void show(const QString& appName,
              const QImage& icon,
              bool isVeiled,
              const std::optional<QString>& subtitle) override;
    // Hides the content and fades the panel out over 0.2 s (at once under Reduce Motion).
    void dismiss();

    // The panel; null until the first show.
    platform::Window* window() const { return m_window.get(); }
    bool isDismissalPending() const { return m_dismissWorkItem.isActive(); }

    static constexpr QSizeF kPanelSize{340, 80};
    static constexpr double kTopInset = 16;
    static constexpr qint64 kPanelLevel = 1002;
    static constexpr double kShortDisplayTime = 1.3;
    static constexpr double kSubtitleDisplayTime = 2.5;
    static constexpr double kFadeDuration = 0.2;

    // How long a toast stays up.
    static double displayTime(const std::optional<QString>& subtitle);
    // The panel's frame for the pointer at `mouse`: centred on the visible frame of the first
    // screen containing the pointer (else the main screen, else the first), 16 points below its
    // top. None without a screen.
    static std::optional<QRectF>
    panelFrame(const QList<platform::Screen>& screens, QPointF mouse, std::optional<quint32> mainDisplayID);
    // The content's entrance and exit (read Reduce Motion now).
    static kit::Animation entranceAnimation();
    static kit::Animation exitAnimation();

signals:
    void isVisibleChanged(bool value);
    void appNameChanged(const QString& value);
    void appIconChanged(const QImage& value);
    void isVeiledChanged(bool value);
    void subtitleChanged(const std::optional<QString>& value);

private:
    void makePanel();
    void fadeFinished();

    platform::Services m_services;
    bool m_isVisible = false;
    QString m_appName;
    QImage m_appIcon;
    bool m_isVeiled = false;
    std::optional<QString> m_subtitle;
    std::unique_ptr<platform::Window> m_window;
    platform::TimerHandle m_dismissWorkItem;
    platform::TimerHandle m_fadeCompletion;
    kit::AnimatedValue m_panelAlpha;
};
