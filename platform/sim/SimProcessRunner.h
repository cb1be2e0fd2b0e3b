#pragma once

#include "platform/Process.h"

#include <QList>

#include <deque>

namespace platform::sim {

// Runs nothing: the system tools the application calls do not exist on this desktop. Each run is
// recorded and written to the log as what would have run, and ends as a test says (by default
// with status 0).
class SimProcessRunner final : public ProcessRunner
{
public:
    struct Run
    {
        QString executable;
        QStringList arguments;
        double timeoutSeconds = 0;
    };

    ProcessResult
    runAndWait(const QString& executable, const QStringList& arguments, double timeoutSeconds) override;

    // The next runs end with these results, in order.
    void queueResult(const ProcessResult& result) { m_results.push_back(result); }
    const QList<Run>& runs() const { return m_runs; }

private:
    QList<Run> m_runs;
    std::deque<ProcessResult> m_results;
};

} // namespace platform::sim
