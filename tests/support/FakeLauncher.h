#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// While it lives, the desktop's launcher on PATH ("xdg-open") is a script of the test's own that
// notes the link it was given and ends with the status set (xdg-open's 3: nothing handles the
// link; a negative one: killed by that signal).
class FakeLauncher
{
public:
    explicit FakeLauncher(int exitStatus = 0)
        : m_previousPath(qgetenv("PATH"))
    {
        setExitStatus(exitStatus);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_previousPath);
    }
    ~FakeLauncher() { qputenv("PATH", m_previousPath); }
    FakeLauncher(const FakeLauncher&) = delete;
    FakeLauncher& operator=(const FakeLauncher&) = delete;

    void setExitStatus(int status)
    {
        QFile script(path());
        if (script.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.links\"\n"
                         + (status < 0 ? "kill -" + QByteArray::number(-status) + " $$\n"
                                       : "exit " + QByteArray::number(status) + "\n"));
        }
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("xdg-open")); }
    // The links it was given, one a line.
    QByteArray links() const
    {
        QFile file(path() + QStringLiteral(".links"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previousPath;
};

} // namespace testing_support
