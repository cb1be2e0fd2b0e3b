#include "platform/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>

namespace platform {

void JsonWriter::separate()
{
    if (m_needsComma) {
        m_out.append(',');
    }
    m_needsComma = true;
}

JsonWriter& JsonWriter::beginObject()
{
    separate();
    m_out.append('{');
    m_needsComma = false;
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    m_out.append('}');
    m_needsComma = true;
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    separate();
    m_out.append('[');
    m_needsComma = false;
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    m_out.append(']');
    m_needsComma = true;
    return *this;
}

JsonWriter& JsonWriter::key(const QString& name)
{
    value(name);
    m_out.append(':');
    m_needsComma = false;
    return *this;
}

JsonWriter& JsonWriter::value(const QString& text)
{
    separate();
    // Let Qt's writer do the escaping: a one-element array, without its brackets.
    const QByteArray wrapped = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    m_out.append(wrapped.mid(1, wrapped.size() - 2));
    return *this;
}

JsonWriter& JsonWriter::value(double number)
{
    separate();
    if (!std::isfinite(number)) {
        m_failed = true;
        m_out.append("null");
        return *this;
    }
    m_out.append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
    return *this;
}

JsonWriter& JsonWriter::value(qint64 number)
{
    separate();
    m_out.append(QByteArray::number(number));
    return *this;
}

std::optional<QByteArray> JsonWriter::result() const
{
    if (m_failed) {
        return std::nullopt;
    }
    return m_out;
}

} // namespace platform
