#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>

class QProcess;

namespace platform {

// What the user's own desktop does for the application: web pages open in the default browser
// through the desktop's launcher (xdg-open). A launcher that starts has not yet opened anything:
// it finds the browser, and its exit status says whether it did (non-zero, 3 when nothing handles
// the link, is a failure). The status is read as the launcher ends, without holding up the event
// loop. Main thread only.
class DesktopServices final : public QObject
{
    Q_OBJECT

public:
    explicit DesktopServices(QObject* parent = nullptr);
    // A launcher still running (one that waits for the browser it started) is ended; the browser
    // is not.
    ~DesktopServices() override;
    DesktopServices(const DesktopServices&) = delete;
    DesktopServices& operator=(const DesktopServices&) = delete;

    // Hands the URL to the launcher. `done` runs exactly once, as the launcher ends, with whether
    // it opened the URL: false when it cannot be started, ends with a non-zero status or crashes.
    // Without a launcher Qt's own desktop services try, and `done` runs before this returns.
    void openURL(const QUrl& url, std::function<void(bool opened)> done);

    // The launcher's path: "xdg-open" where PATH has it; empty when it has not.
    static QString launcher();

private:
    void finish(QProcess* process, bool opened);

    // The launchers still running, with what to tell when they end.
    std::map<QProcess*, std::function<void(bool)>> m_launches;
};

} // namespace platform
