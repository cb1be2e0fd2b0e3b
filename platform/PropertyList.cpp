#include "platform/PropertyList.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

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
        char* value = nullptr;
        plist_get_string_val(node, &value);
        QString text = QString::fromUtf8(value != nullptr ? value : "");
        std::free(value); // NOLINT(cppcoreguidelines-no-malloc)
        return QVariant(text);
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
        const qint64 ms = static_cast<qint64>(seconds) * 1000 + microseconds / 1000;
        return QVariant(referenceDate().addMSecs(ms));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i) {
            if (const auto converted = toVariant(plist_array_get_item(node, i))) {
                list.append(*converted);
            }
        }
        return QVariant(list);
    }
    case PLIST_DICT:
        return dictionaryToVariant(node);
    default:
        return std::nullopt;
    }
}

NodePtr fromVariant(const QVariant& value)
{
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
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d)) {
            return nullptr;
        }
        return NodePtr(plist_new_real(d));
    }
    case QMetaType::QString:
        return NodePtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return NodePtr(plist_new_data(data.constData(), static_cast<uint64_t>(data.size())));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = referenceDate().msecsTo(value.toDateTime());
        const qint64 seconds = ms / 1000;
        if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max()) {
            return nullptr;
        }
        return NodePtr(
            plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>((ms % 1000) * 1000)));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        NodePtr array(plist_new_array());
        for (const QVariant& element : value.toList()) {
            NodePtr item = fromVariant(element);
            if (!item) {
                return nullptr;
            }
            plist_array_append_item(array.get(), item.release());
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        NodePtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            NodePtr item = fromVariant(it.value());
            if (!item) {
                return nullptr;
            }
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), item.release());
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

} // namespace

std::optional<QVariantMap> readDictionary(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    const auto length = static_cast<uint32_t>(bytes.size());
    if (plist_is_binary(bytes.constData(), length) != 0) {
        plist_from_bin(bytes.constData(), length, &root);
    } else {
        plist_from_xml(bytes.constData(), length, &root);
    }
    if (root == nullptr) {
        return std::nullopt;
    }
    const NodePtr owner(root);
    if (plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    const auto converted = dictionaryToVariant(root);
    if (!converted) {
        return std::nullopt;
    }
    return converted->toMap();
}

std::optional<QByteArray> writeBinary(const QVariantMap& dictionary)
{
    const NodePtr root = fromVariant(QVariant(dictionary));
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
