#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Hostile stored and received documents for the tests of what reads them, and a record of what
// the code logs while it refuses them.
namespace testing_support {

// A template for QTemporaryDir under the test build's scratch folder (VEILMOX_TEST_TMP), which
// is made when missing.
QString temporaryFolderTemplate(const QString& name);

// An XML property list whose root holds "hiddenBundleIDs" = ["com.example.A"] and, under
// "nested", `levels` arrays (or dictionaries) inside one another.
QByteArray nestedXmlPropertyList(int levels, bool dictionaries = false);

// A binary property list whose root holds "nested": `levels` arrays inside one another, each
// holding the next `fanOut` times (the same object each time, as the format allows).
QByteArray nestedBinaryPropertyList(int levels, int fanOut = 1);

// Records the warnings and errors logged while it lives, and keeps them off the test's output.
class LogRecorder
{
public:
    LogRecorder();
    ~LogRecorder();
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;
    LogRecorder(LogRecorder&&) = delete;
    LogRecorder& operator=(LogRecorder&&) = delete;

    const QStringList& messages() const;

private:
    QtMessageHandler m_previous;
};

} // namespace testing_support
