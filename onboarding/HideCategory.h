#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// A kind of content the user wants kept out of a share, with the apps it suggests hiding. The raw
// value is the name the onboarding draft stores and the analytics events send. A plain value,
// usable from any thread.
class HideCategory
{
public:
    enum Value
    {
        WorkChat,
        Finance,
        Files,
        Personal
    };

    constexpr HideCategory(Value value)
        : m_value(value)
    {}
    constexpr operator Value() const { return m_value; }

    // Every case, in the order the flow lists and stores them.
    static constexpr std::array<HideCategory, 4> allCases() { return {WorkChat, Finance, Files, Personal}; }

    // The case whose raw value equals `rawValue` exactly (case and spaces count), else none.
    static std::optional<HideCategory> fromRawValue(const QString& rawValue);

    QString rawValue() const;
    QString id() const { return rawValue(); }
    // The apps the category hides when the flow applies the user's choice, in order.
    const QStringList& suggestedBundleIDs() const;

    // Each name mapped to its case; names of no case are left out, order and repeats kept.
    static QList<HideCategory> categories(const QStringList& names);
    // The suggested apps of the named categories that are members of `among`.
    static QSet<QString> bundleIDs(const QStringList& names, const QSet<QString>& among);

private:
    Value m_value;
};

inline size_t qHash(HideCategory category, size_t seed = 0)
{
    return ::qHash(static_cast<int>(category), seed);
}
