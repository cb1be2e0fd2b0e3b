#pragma once

#include "shell/AppDelegate.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

// The application's entry type: it makes the one AppDelegate and runs the launch sequence on the
// first turn of the main loop. It opens no window of its own. URLs the system opens with the
// application before the launch sequence has run wait for it and then go, in order, to the
// delegate. Main thread only.
class VeilmoxApp final : public QObject
{
    Q_OBJECT

public:
    explicit VeilmoxApp(AppDelegate::Environment environment, QObject* parent = nullptr);
    ~VeilmoxApp() override;

    AppDelegate& appDelegate() const { return *m_appDelegate; }

    // Schedules the launch sequence on the scheduler's next turn; main() does it too.
    void scheduleLaunch();
    // Runs the launch sequence now (once), then hands over the URLs that waited.
    void finishLaunching();
    bool hasFinishedLaunching() const { return m_launched; }

    // URLs opened with the application (a "veilmox:" callback).
    void openURLs(const QList<QUrl>& urls);
    QList<QUrl> pendingURLs() const { return m_pendingURLs; }

    // Schedules the launch and runs the main loop until the application quits.
    int main();

private:
    std::unique_ptr<AppDelegate> m_appDelegate;
    bool m_launchScheduled = false;
    bool m_launched = false;
    QList<QUrl> m_pendingURLs;
};
