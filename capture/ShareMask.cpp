#include "capture/ShareMask.h"

#include "platform/BoundedRead.h"
#include "platform/Geometry.h"
#include "platform/JsonWriter.h"
#include "platform/Values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The canonical 36-character form: 8-4-4-4-12 hexadecimal digits, any letter case.
std::optional<QUuid> parseCanonicalUuid(const QString& text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace) {
            if (c != QLatin1Char('-')) {
                return std::nullopt;
            }
        } else if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                     || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                     || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) {
            return std::nullopt;
        }
    }
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000")) {
        return std::nullopt;
    }
    return id;
}

std::optional<QPointF> numberPair(const QJsonValue& value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    const QJsonArray pair = value.toArray();
    if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble()) {
        return std::nullopt;
    }
    return QPointF(pair.at(0).toDouble(), pair.at(1).toDouble());
}

std::optional<ShareMask> decodeMask(const QJsonValue& value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue windowID = object.value(QStringLiteral("windowID"));
    const QJsonValue bundleID = object.value(QStringLiteral("bundleID"));
    const QJsonValue rect = object.value(QStringLiteral("rect"));
    if (!id.isString() || !windowID.isDouble() || !bundleID.isString() || !rect.isArray()) {
        return std::nullopt;
    }
    const auto uuid = parseCanonicalUuid(id.toString());
    const auto number = platform::exactUInt32(windowID.toDouble());
    const QJsonArray parts = rect.toArray();
    if (!uuid || !number || parts.size() != 2) {
        return std::nullopt;
    }
    const auto origin = numberPair(parts.at(0));
    const auto size = numberPair(parts.at(1));
    if (!origin || !size) {
        return std::nullopt;
    }
    return ShareMask{*uuid, *number, bundleID.toString(), QRectF(*origin, QSizeF(size->x(), size->y()))};
}

} // namespace

bool ShareMask::operator==(const ShareMask& other) const
{
    // QRectF's own comparison is fuzzy; masks compare their numbers exactly.
    return id == other.id && windowID == other.windowID && bundleID == other.bundleID
           && rect.x() == other.rect.x() && rect.y() == other.rect.y() && rect.width() == other.rect.width()
           && rect.height() == other.rect.height();
}

std::optional<QRectF> ShareMask::screenRect(const QRectF& windowFrame) const
{
    const QRectF moved = rect.translated(windowFrame.topLeft());
    const auto clipped = platform::rectIntersection(moved, windowFrame);
    if (!clipped || platform::rectIsEmpty(*clipped)) {
        return std::nullopt;
    }
    return clipped;
}

ShareMask ShareMask::attach(const QUuid& id,
                            const QRectF& screenRect,
                            quint32 windowID,
                            const QString& bundleID,
                            const QRectF& windowFrame)
{
    // The window always holds the centre of the box, so the clipped box is never null.
    const QRectF clipped = platform::rectIntersection(screenRect, windowFrame).value_or(QRectF());
    return ShareMask{id, windowID, bundleID, clipped.translated(-windowFrame.topLeft())};
}

std::optional<QList<ShareMask>> ShareMask::decodeList(const QByteArray& json)
{
    const auto document = platform::parseJson(json);
    if (!document || !document->isArray()) {
        return std::nullopt;
    }
    QList<ShareMask> masks;
    // One damaged mask must not cost the others: each one still keeps something off the share.
    for (const QJsonValue& element : document->array()) {
        if (const auto mask = decodeMask(element)) {
            masks.append(*mask);
        }
    }
    return masks;
}

std::optional<QByteArray> ShareMask::encodeList(const QList<ShareMask>& masks)
{
    platform::JsonWriter writer;
    writer.beginArray();
    for (const ShareMask& mask : masks) {
        writer.beginObject();
        writer.key(QStringLiteral("id")).value(mask.id.toString(QUuid::WithoutBraces).toUpper());
        writer.key(QStringLiteral("windowID")).value(mask.windowID);
        writer.key(QStringLiteral("bundleID")).value(mask.bundleID);
        writer.key(QStringLiteral("rect")).beginArray();
        writer.beginArray().value(mask.rect.x()).value(mask.rect.y()).endArray();
        writer.beginArray().value(mask.rect.width()).value(mask.rect.height()).endArray();
        writer.endArray();
        writer.endObject();
    }
    writer.endArray();
    return writer.result();
}
