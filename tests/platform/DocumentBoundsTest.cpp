// The bounds on documents read from disk or the network, the same for every form.
#include "platform/BoundedRead.h"
#include "platform/PropertyList.h"
#include "tests/support/DamagedInput.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

QByteArray jsonArrays(int levels)
{
    return QByteArray(levels, '[') + QByteArray(levels, ']');
}

QByteArray jsonZeros(qsizetype count)
{
    QByteArray out = "[0";
    for (qsizetype i = 1; i < count; ++i) {
        out += ",0";
    }
    return out + "]";
}

QByteArray xmlTrues(qsizetype count)
{
    QByteArray out = "<plist version=\"1.0\"><dict><key>a</key><array>";
    for (qsizetype i = 0; i < count; ++i) {
        out += "<true/>";
    }
    return out + "</array></dict></plist>";
}

QByteArray binaryTrues(qsizetype count)
{
    return plist::writeBinary({{QStringLiteral("a"), QVariantList(count, true)}}).value_or(QByteArray());
}

// One 64 KiB text used `count` times: the writer stores it once.
QByteArray binarySharedText(qsizetype count)
{
    return plist::writeBinary(
               {{QStringLiteral("a"), QVariantList(count, QString(64 * 1024, QLatin1Char('x')))}})
        .value_or(QByteArray());
}

// {"k": text}, the text stored as UTF-16 as property lists keep text that is not ASCII.
QByteArray binaryUtf16Text(const QString& text)
{
    QByteArray out = "bplist00\xD1\x01\x02\x51k";
    out.append(static_cast<char>(0x60 | text.size()));
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    }
    const char table = static_cast<char>(out.size());
    out.append("\x08\x0B\x0D", 3).append(QByteArray(6, '\0')).append("\x01\x01", 2);
    out.append(QByteArray(7, '\0')).append('\x03').append(QByteArray(15, '\0')).append(table);
    return out;
}

} // namespace

// Each form is read right up to the bounds and refused one step past them. In the property lists
// the root dictionary is the first level.
TEST(DocumentBounds, EveryFormIsReadUpToTheBoundsAndRefusedPastThem)
{
    constexpr int kDepth = kMaxDocumentDepth;
    constexpr qsizetype kCount = kMaxDocumentElements;
    struct Case
    {
        const char* name;
        bool json;
        QByteArray within;
        QByteArray past;
        const char* says;
    };
    const Case cases[] = {
        {"JSON nesting", true, jsonArrays(kDepth), jsonArrays(kDepth + 1), "nested deeper than 64 levels"},
        {"JSON values", true, jsonZeros(kCount - 1), jsonZeros(kCount), "more than 250000 elements"},
        {"XML arrays",
         false,
         testing_support::nestedXmlPropertyList(kDepth - 1),
         testing_support::nestedXmlPropertyList(kDepth),
         "nested deeper than 64 levels"},
        {"XML dictionaries",
         false,
         testing_support::nestedXmlPropertyList(kDepth - 1, true),
         testing_support::nestedXmlPropertyList(kDepth, true),
         "nested deeper than 64 levels"},
        {"XML values", false, xmlTrues(kCount - 10), xmlTrues(kCount), "more than 250000 elements"},
        {"binary arrays",
         false,
         testing_support::nestedBinaryPropertyList(kDepth - 1),
         testing_support::nestedBinaryPropertyList(kDepth),
         "nested deeper than 64 levels"},
        {"binary values", false, binaryTrues(kCount - 10), binaryTrues(kCount), "more than 250000 elements"},
        {"binary shared text",
         false,
         binarySharedText(100),
         binarySharedText(513),
         "more than 32 MiB of text and data"},
        // Such text once aborted the process inside the parser.
        {"binary text with a NUL",
         false,
         binaryUtf16Text(QStringLiteral("a b")),
         binaryUtf16Text(QStringLiteral("a") + QChar(0) + QStringLiteral("b")),
         "text holding a NUL character"},
        // One shared array reached along every path counts each time it is reached.
        {"binary fan-out",
         false,
         testing_support::nestedBinaryPropertyList(17, 2),
         testing_support::nestedBinaryPropertyList(18, 2),
         "more than 250000 elements"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        if (c.json) {
            EXPECT_TRUE(parseJson(c.within, &error)) << error.toStdString();
            EXPECT_FALSE(parseJson(c.past, &error));
        } else {
            EXPECT_TRUE(plist::readDictionary(c.within, &error)) << error.toStdString();
            EXPECT_FALSE(plist::readDictionary(c.past, &error));
        }
        EXPECT_EQ(error.toStdString(), c.says);
    }
}
