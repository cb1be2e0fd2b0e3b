#include "tests/support/DamagedInput.h"

#include "platform/PropertyList.h"

#include <QDir>

#include <cmath>
#include <cstring>
#include <vector>

namespace testing_support {

namespace {

QStringList& recorded()
{
    static QStringList messages;
    return messages;
}

void appendBigEndian(QByteArray& out, quint64 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
        out.append(static_cast<char>((value >> shift) & 0xFF));
    }
}

QByteArray bigEndianBits(double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray out;
    appendBigEndian(out, bits, 8);
    return out;
}

QString xmlReal(double value)
{
    if (std::isnan(value)) {
        return QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    }
    return QString::number(value, 'g', 17);
}

QString xmlValue(const QVariant& value, double real)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("<true/>") : QStringLiteral("<false/>");
    case QMetaType::Double:
        return QStringLiteral("<real>%1</real>")
            .arg(xmlReal(value.toDouble() == kRealPlaceholder ? real : value.toDouble()));
    case QMetaType::QVariantMap: {
        QString out = QStringLiteral("<dict>");
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            out += QStringLiteral("<key>%1</key>").arg(it.key().toHtmlEscaped()) + xmlValue(it.value(), real);
        }
        return out + QStringLiteral("</dict>");
    }
    default:
        return QStringLiteral("<string>%1</string>").arg(value.toString().toHtmlEscaped());
    }
}

} // namespace

QByteArray settingsWithReal(const QVariantMap& values, double real, bool binary)
{
    if (!binary) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
               + xmlValue(values, real).toUtf8() + "</plist>\n";
    }
    return platform::plist::writeBinary(values)
        .value_or(QByteArray())
        .replace(bigEndianBits(kRealPlaceholder), bigEndianBits(real));
}

QString temporaryFolderTemplate(const QString& name)
{
    const QString base = qEnvironmentVariable("VEILMOX_TEST_TMP", QDir::tempPath());
    QDir().mkpath(base);
    return base + QLatin1Char('/') + name + QStringLiteral("-XXXXXX");
}

QByteArray nestedXmlPropertyList(int levels, bool dictionaries)
{
    const QByteArray open = dictionaries ? "<dict><key>k</key>" : "<array>";
    const QByteArray innermost = dictionaries ? "<dict/>" : "<array/>";
    const QByteArray close = dictionaries ? "</dict>" : "</array>";
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                     "<key>hiddenBundleIDs</key><array><string>com.example.A</string></array>"
                     "<key>nested</key>";
    out.reserve(out.size() + levels * (open.size() + close.size()) + 32);
    for (int i = 1; i < levels; ++i) {
        out += open;
    }
    out += innermost;
    for (int i = 1; i < levels; ++i) {
        out += close;
    }
    return out + "</dict></plist>\n";
}

QByteArray nestedBinaryPropertyList(int levels, int fanOut)
{
    // Objects: 0 the root dictionary, 1 its key, 2 onwards the arrays, outermost first.
    const quint64 count = quint64(levels) + 2;
    constexpr int kWidth = 4; // of every reference and offset
    QByteArray out = "bplist00";
    std::vector<quint64> offsets;
    offsets.push_back(out.size());
    out.append('\xD1');
    appendBigEndian(out, 1, kWidth);
    appendBigEndian(out, 2, kWidth);
    offsets.push_back(out.size());
    out.append("\x56nested");
    for (int level = 0; level < levels; ++level) {
        offsets.push_back(out.size());
        const int held = level + 1 < levels ? fanOut : 0;
        out.append(static_cast<char>(0xA0 | held));
        for (int i = 0; i < held; ++i) {
            appendBigEndian(out, quint64(level) + 3, kWidth);
        }
    }
    const quint64 table = out.size();
    for (const quint64 offset : offsets) {
        appendBigEndian(out, offset, kWidth);
    }
    out.append(QByteArray(6, '\0'));
    out.append(static_cast<char>(kWidth));
    out.append(static_cast<char>(kWidth));
    appendBigEndian(out, count, 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, table, 8);
    return out;
}

LogRecorder::LogRecorder()
{
    recorded().clear();
    m_previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg) {
                recorded().append(message);
            }
        });
}

LogRecorder::~LogRecorder()
{
    qInstallMessageHandler(m_previous);
}

const QStringList& LogRecorder::messages() const
{
    return recorded();
}

} // namespace testing_support
