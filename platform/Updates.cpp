#include "platform/Updates.h"

#include <QDebug>
#include <QLoggingCategory>

namespace platform {

namespace {
Q_LOGGING_CATEGORY(lcUpdates, "veilmox.updates")
} // namespace

class UpdateFrameworkStandIn::Controller final : public StandardUpdaterController
{
public:
    Controller(UpdateFrameworkStandIn& framework, bool started)
        : m_framework(framework)
        , m_started(started)
    {}

    bool updaterStarted() const override { return m_started; }
    void checkForUpdates() override { m_framework.recordCheck(); }

private:
    UpdateFrameworkStandIn& m_framework;
    bool m_started;
};

std::unique_ptr<StandardUpdaterController>
UpdateFrameworkStandIn::makeStandardUpdaterController(bool startingUpdater)
{
    ++m_controllersMade;
    return std::make_unique<Controller>(*this, startingUpdater);
}

void UpdateFrameworkStandIn::recordCheck()
{
    ++m_checks;
    m_reports.append(kNoUpdateSourceReport);
    qCInfo(lcUpdates).noquote() << kNoUpdateSourceReport;
}

} // namespace platform
