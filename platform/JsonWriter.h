#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// Compact JSON written member by member in the order given, for stored forms whose members have
// a fixed order. Any non-finite number makes the whole document unwritable.
class JsonWriter
{
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const QString& name);
    JsonWriter& value(const QString& text);
    JsonWriter& value(double number);
    JsonWriter& value(qint64 number);
    JsonWriter& value(quint32 number) { return value(static_cast<qint64>(number)); }

    // The document, or none when a number could not be written.
    std::optional<QByteArray> result() const;

private:
    void separate();

    QByteArray m_out;
    bool m_needsComma = false;
    bool m_failed = false;
};

} // namespace platform
