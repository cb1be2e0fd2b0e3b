#include "platform/PropertyList.h"

#include "platform/BoundedRead.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>
#include <vector>

namespace platform::plist {
namespace {

struct NodeDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime kReference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return kReference;
}

// The C locale, for numbers written the same in every language.
locale_t cNumbers()
{
    static const locale_t kC = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return kC;
}

QString tooDeep()
{
    return QStringLiteral("nested deeper than %1 levels").arg(kMaxDocumentDepth);
}

QString tooMany()
{
    return QStringLiteral("more than %1 elements").arg(kMaxDocumentElements);
}

// The XML form's nesting and element count, measured with a streaming reader so that no depth
// of input can exhaust the stack. Elements inside a value element (a string, a key) never occur
// in a property list and make it damaged.
std::optional<QString> xmlPastBounds(const QByteArray& bytes)
{
    QXmlStreamReader reader(bytes);
    // Per open element: whether it is an array or dictionary.
    std::vector<bool> open;
    int depth = 0;
    qsizetype elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (!open.empty() && !open.back()) {
                return QStringLiteral("an element inside a value");
            }
            const bool container =
                reader.name() == QLatin1String("array") || reader.name() == QLatin1String("dict");
            if (container && ++depth > kMaxDocumentDepth) {
                return tooDeep();
            }
            // The outermost <plist> holds the root as a container does, without being one.
            open.push_back(container || (open.empty() && reader.name() == QLatin1String("plist")));
            if (++elements > kMaxDocumentElements) {
                return tooMany();
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (reader.name() == QLatin1String("array") || reader.name() == QLatin1String("dict")) {
                --depth;
            }
            open.pop_back();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        return QStringLiteral("not well-formed XML: %1").arg(reader.errorString());
    }
    return std::nullopt;
}

quint64 bigEndian(const uchar* at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i) {
        value = (value << 8) | at[i];
    }
    return value;
}

// The binary form's nesting, element count and size once expanded, walked through its object
// references with a list of pending objects instead of recursion. Shared objects count every
// time they are reached, as the parser copies them, so a small file that fans out is refused as
// well. Text holding a NUL character is refused too: the parser aborts the process on some of it.
std::optional<QString> binaryPastBounds(const QByteArray& bytes)
{
    constexpr qsizetype kHeader = 8;
    constexpr qsizetype kTrailer = 32;
    const QString malformed = QStringLiteral("a malformed binary property list");
    if (bytes.size() < kHeader + kTrailer) {
        return malformed;
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = static_cast<quint64>(bytes.size());
    const uchar* trailer = data + size - kTrailer;
    const int offsetSize = trailer[6];
    const int refSize = trailer[7];
    const quint64 objectCount = bigEndian(trailer + 8, 8);
    const quint64 top = bigEndian(trailer + 16, 8);
    const quint64 tableAt = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || tableAt < kHeader
        || tableAt > size - kTrailer || objectCount > (size - kTrailer - tableAt) / offsetSize
        || top >= objectCount) {
        return malformed;
    }
    struct Pending
    {
        quint64 index = 0;
        int depth = 0; // containers above it
    };
    std::vector<Pending> pending{{top, 0}};
    std::vector<bool> textChecked(objectCount, false);
    qsizetype elements = 0;
    quint64 expandedBytes = 0;
    while (!pending.empty()) {
        const Pending object = pending.back();
        pending.pop_back();
        ++elements;
        const quint64 at = bigEndian(data + tableAt + object.index * offsetSize, offsetSize);
        if (at < kHeader || at >= tableAt) {
            return malformed;
        }
        const uchar marker = data[at];
        const int kind = marker >> 4;
        // Data, ASCII text, UTF-16 text; arrays, the two kinds of set, dictionaries.
        const bool leaf = kind >= 0x4 && kind <= 0x6;
        const bool container = kind >= 0xA && kind <= 0xD;
        if (!leaf && !container) {
            continue;
        }
        quint64 count = marker & 0xF;
        quint64 contentAt = at + 1;
        if (count == 0xF) {
            // The count follows as an integer object of 1, 2, 4 or 8 bytes.
            if (contentAt >= tableAt || (data[contentAt] >> 4) != 0x1 || (data[contentAt] & 0xF) > 3) {
                return malformed;
            }
            const int width = 1 << (data[contentAt] & 0xF);
            if (contentAt + 1 + width > tableAt) {
                return malformed;
            }
            count = bigEndian(data + contentAt + 1, width);
            contentAt += 1 + width;
        }
        if (leaf) {
            const quint64 unit = kind == 0x6 ? 2 : 1;
            if (count > (tableAt - contentAt) / unit) {
                return malformed;
            }
            expandedBytes += count * unit;
            if (expandedBytes > static_cast<quint64>(kMaxExpandedBytes)) {
                return QStringLiteral("more than %1 of text and data")
                    .arg(describeByteCount(kMaxExpandedBytes));
            }
            if (kind != 0x4 && !textChecked[object.index]) {
                textChecked[object.index] = true;
                for (quint64 i = 0; i < count; ++i) {
                    if (data[contentAt + i * unit] == 0 && data[contentAt + i * unit + unit - 1] == 0) {
                        return QStringLiteral("text holding a NUL character");
                    }
                }
            }
            continue;
        }
        if (object.depth + 1 > kMaxDocumentDepth) {
            return tooDeep();
        }
        const quint64 room = (tableAt - contentAt) / refSize;
        const quint64 refs = kind == 0xD ? count * 2 : count;
        if (count > room || refs > room) {
            return malformed;
        }
        if (static_cast<quint64>(elements) + pending.size() + refs
            > static_cast<quint64>(kMaxDocumentElements)) {
            return tooMany();
        }
        for (quint64 i = 0; i < refs; ++i) {
            const quint64 index = bigEndian(data + contentAt + i * refSize, refSize);
            if (index >= objectCount) {
                return malformed;
            }
            pending.push_back({index, object.depth + 1});
        }
    }
    return std::nullopt;
}

std::optional<QVariant> toVariant(plist_t node);

std::optional<QVariant> dictionaryToVariant(plist_t node)
{
    QVariantMap map;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (iter == nullptr) {
        return map;
    }
    while (true) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (key == nullptr) {
            break;
        }
        const QString name = QString::fromUtf8(key);
        std::free(key); // NOLINT(cppcoreguidelines-no-malloc): libplist hands out malloc'd keys
        if (const auto converted = toVariant(value)) {
            map.insert(name, *converted);
        }
    }
    std::free(iter); // NOLINT(cppcoreguidelines-no-malloc)
    return map;
}

std::optional<QVariant> toVariant(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Stored integers are signed 64-bit; negative ones come back as their bit pattern.
        return QVariant(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* value = plist_get_string_ptr(node, &length);
        return QVariant(QString::fromUtf8(value != nullptr ? value : ""));
    }
    case PLIST_DATA: {
        char* value = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &value, &length);
        QByteArray data(value, static_cast<qsizetype>(length));
        std::free(value); // NOLINT(cppcoreguidelines-no-malloc)
        return QVariant(data);
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // Stored as a floating-point count of seconds: the fraction is rounded, not cut, so a
        // date read and written again stays the same; but never up into the next second, which
        // could lie past what the file can hold. It comes without its sign; the whole seconds
        // carry it.
        const qint64 fraction = std::min<qint64>(std::llround(std::abs(microseconds) / 1000.0), 999);
        const qint64 ms = static_cast<qint64>(seconds) * 1000 + (seconds < 0 ? -fraction : fraction);
        return QVariant(referenceDate().addMSecs(ms));
    }
    case PLIST_ARRAY: {
        // Walked with an iterator: indexing a parsed array walks it from the start every time.
        QVariantList list;
        plist_array_iter iter = nullptr;
        plist_array_new_iter(node, &iter);
        while (iter != nullptr) {
            plist_t item = nullptr;
            plist_array_next_item(node, iter, &item);
            if (item == nullptr) {
                break;
            }
            if (const auto converted = toVariant(item)) {
                list.append(*converted);
            }
        }
        std::free(iter); // NOLINT(cppcoreguidelines-no-malloc)
        return QVariant(list);
    }
    case PLIST_DICT:
        return dictionaryToVariant(node);
    default:
        return std::nullopt;
    }
}

// The node of one value; null when it has no property-list form. Inside arrays and dictionaries
// such a value is left out, its path noted in `leftOut`, and the rest kept.
NodePtr fromVariant(const QVariant& value, const QString& path, QStringList* leftOut)
{
    const auto leaveOut = [&](const QString& child) {
        if (leftOut != nullptr) {
            leftOut->append(child);
        }
    };
    switch (value.typeId()) {
    case QMetaType::Bool:
        return NodePtr(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        return NodePtr(plist_new_uint(static_cast<uint64_t>(value.toLongLong())));
    case QMetaType::Double:
    case QMetaType::Float:
        // NaN and the infinities included: both forms have them.
        return NodePtr(plist_new_real(value.toDouble()));
    case QMetaType::QString:
        return NodePtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return NodePtr(plist_new_data(data.constData(), static_cast<uint64_t>(data.size())));
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!isRepresentable(date)) {
            return nullptr;
        }
        const qint64 ms = referenceDate().msecsTo(date);
        const qint64 seconds = ms / 1000;
        return NodePtr(
            plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>((ms % 1000) * 1000)));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        NodePtr array(plist_new_array());
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString child =
                path.isEmpty() ? QString::number(i) : path + QLatin1Char('/') + QString::number(i);
            if (NodePtr item = fromVariant(list.at(i), child, leftOut)) {
                plist_array_append_item(array.get(), item.release());
            } else {
                leaveOut(child);
            }
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        NodePtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            const QString child = path.isEmpty() ? it.key() : path + QLatin1Char('/') + it.key();
            if (NodePtr item = fromVariant(it.value(), child, leftOut)) {
                plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), item.release());
            } else {
                leaveOut(child);
            }
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

} // namespace

bool isRepresentable(const QDateTime& date)
{
    if (!date.isValid()) {
        return false;
    }
    // Whole seconds from the reference date, as a signed 32-bit number.
    const qint64 seconds = referenceDate().msecsTo(date) / 1000;
    return seconds >= std::numeric_limits<int32_t>::min() && seconds <= std::numeric_limits<int32_t>::max();
}

std::optional<QVariantMap> readDictionary(const QByteArray& bytes, QString* error)
{
    const auto refuse = [error](const QString& reason) {
        if (error != nullptr) {
            *error = reason;
        }
        return std::nullopt;
    };
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max()) {
        return refuse(QStringLiteral("empty or too large"));
    }
    // The parser recurses once per level and copies shared objects, so the bounds are checked
    // before it sees the bytes.
    plist_t root = nullptr;
    const auto length = static_cast<uint32_t>(bytes.size());
    if (plist_is_binary(bytes.constData(), length) != 0) {
        if (const auto past = binaryPastBounds(bytes)) {
            return refuse(*past);
        }
        plist_from_bin(bytes.constData(), length, &root);
    } else {
        if (const auto past = xmlPastBounds(bytes)) {
            return refuse(*past);
        }
        // libplist reads an XML <real> with the C library's number parser, which follows the
        // numeric locale: under a decimal comma "0.35" would read as 0. This thread reads the
        // file as it was written, in C's locale.
        const locale_t previous = ::uselocale(cNumbers());
        plist_from_xml(bytes.constData(), length, &root);
        ::uselocale(previous);
    }
    if (root == nullptr) {
        return refuse(QStringLiteral("not a property list"));
    }
    const NodePtr owner(root);
    if (plist_get_node_type(root) != PLIST_DICT) {
        return refuse(QStringLiteral("not a dictionary"));
    }
    const auto converted = dictionaryToVariant(root);
    if (!converted) {
        return std::nullopt;
    }
    return converted->toMap();
}

std::optional<QByteArray> writeBinary(const QVariantMap& dictionary, QStringList* leftOut)
{
    const NodePtr root = fromVariant(QVariant(dictionary), QString(), leftOut);
    if (!root) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    if (bytes == nullptr) {
        return std::nullopt;
    }
    QByteArray result(bytes, static_cast<qsizetype>(length));
    plist_to_bin_free(bytes);
    return result;
}

} // namespace platform::plist
