#include "platform/sim/SimProcessRunner.h"

#include <QLoggingCategory>

namespace platform::sim {

namespace {
Q_LOGGING_CATEGORY(processLog, "veilmox.sim.process")
} // namespace

ProcessResult
SimProcessRunner::runAndWait(const QString& executable, const QStringList& arguments, double timeoutSeconds)
{
    m_runs.append(Run{executable, arguments, timeoutSeconds});
    qCInfo(processLog, "Would run %s %s", qUtf8Printable(executable), qUtf8Printable(arguments.join(u' ')));
    if (m_results.empty()) {
        return ProcessResult::exited(0);
    }
    const ProcessResult result = m_results.front();
    m_results.pop_front();
    return result;
}

} // namespace platform::sim
