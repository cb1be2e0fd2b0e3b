#pragma once

#include "popover/UpdaterManagerInterface.h"

#include <QObject>

namespace platform {
class Bundle;
}

// The small observable object through which the popover shows the application's version. One is
// made at launch and lives until the process ends; it keeps no state. Main thread only.
class UpdaterManager final
    : public QObject
    , public UpdaterManagerInterface
{
    Q_OBJECT

public:
    explicit UpdaterManager(const platform::Bundle& bundle, QObject* parent = nullptr);

    // "v" + the short version + " (" + the build + ")"; "1.0.0" and "1" stand in, each on its
    // own, for a missing or non-text value.
    QString versionString() const override;
    // Through the application delegate's updater controller.
    void checkForUpdates() const override;

private:
    const platform::Bundle& m_bundle;
};
