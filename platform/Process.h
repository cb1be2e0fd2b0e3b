#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// How a run of a command-line tool ended.
struct ProcessResult
{
    enum class Kind
    {
        Exited,
        FailedToStart,
        // Still running when the wait ran out; it is left to finish on its own.
        TimedOut
    };

    Kind kind = Kind::Exited;
    int terminationStatus = 0;
    QString errorDescription; // FailedToStart: why

    static ProcessResult exited(int status) { return {Kind::Exited, status, {}}; }
    static ProcessResult failedToStart(QString why) { return {Kind::FailedToStart, -1, std::move(why)}; }
    static ProcessResult timedOut() { return {Kind::TimedOut, 0, {}}; }
};

// Runs system tools, in the shape of Foundation's `Process` (`run()`, `waitUntilExit()`). The
// caller's thread waits for the tool, at most for the time it gives.
class ProcessRunner
{
public:
    virtual ~ProcessRunner() = default;

    virtual ProcessResult
    runAndWait(const QString& executable, const QStringList& arguments, double timeoutSeconds) = 0;
};

} // namespace platform
