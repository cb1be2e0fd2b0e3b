#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>
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

// Stands for the one non-finite real of settingsWithReal().
inline constexpr double kRealPlaceholder = 1234.56789012345; // too precise for a 4-byte real

// A settings file of `values` (booleans, strings, reals, dictionaries), binary or in XML as other
// programs write it ("nan", "inf", "-inf"), in which every `kRealPlaceholder` is `real`. Made
// without asking the writer under test to encode a non-finite number.
QByteArray settingsWithReal(const QVariantMap& values, double real, bool binary);

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
