#include "onboarding/OnboardingDraft.h"

#include "onboarding/HideCategory.h"
#include "platform/BoundedRead.h"
#include "platform/JsonWriter.h"
#include "platform/UserDefaults.h"
#include "platform/Values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

// JSON integers that fit in 64 bits are kept exact by the parser; others arrive as doubles and
// count only when integral and within range.
std::optional<qint64> int64Member(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong) {
        return variant.toLongLong();
    }
    return platform::exactInt64(value.toDouble());
}

std::optional<QStringList> stringArrayMember(const QJsonValue& value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList strings;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString()) {
            return std::nullopt;
        }
        strings.append(element.toString());
    }
    return strings;
}

} // namespace

OnboardingDraft::OnboardingDraft()
    : selectedCategories{HideCategory(HideCategory::WorkChat).rawValue(),
                         HideCategory(HideCategory::Finance).rawValue()}
{}

OnboardingDraft OnboardingDraft::load(const platform::UserDefaults& defaults)
{
    return stored(defaults).value_or(OnboardingDraft());
}

std::optional<OnboardingDraft> OnboardingDraft::stored(const platform::UserDefaults& defaults)
{
    const std::optional<QByteArray> data = defaults.dataForKey(kDefaultsKey);
    return data ? decode(*data) : std::nullopt;
}

void OnboardingDraft::save(platform::UserDefaults& defaults) const
{
    if (const auto data = encoded()) {
        defaults.setObject(*data, kDefaultsKey);
    }
}

std::optional<QByteArray> OnboardingDraft::encoded() const
{
    platform::JsonWriter writer;
    writer.beginObject();
    writer.key(QStringLiteral("persona")).value(persona);
    writer.key(QStringLiteral("selectedCategories")).beginArray();
    for (const QString& name : selectedCategories) {
        writer.value(name);
    }
    writer.endArray();
    writer.key(QStringLiteral("transparency")).value(transparency);
    writer.key(QStringLiteral("step")).value(step);
    writer.endObject();
    return writer.result();
}

std::optional<OnboardingDraft> OnboardingDraft::decode(const QByteArray& json)
{
    const auto document = platform::parseJson(json);
    if (!document || !document->isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document->object();
    const QJsonValue persona = object.value(QStringLiteral("persona"));
    const auto categories = stringArrayMember(object.value(QStringLiteral("selectedCategories")));
    const QJsonValue transparency = object.value(QStringLiteral("transparency"));
    const auto step = int64Member(object.value(QStringLiteral("step")));
    if (!persona.isString() || !categories || !transparency.isDouble() || !step) {
        return std::nullopt;
    }
    OnboardingDraft draft;
    draft.persona = persona.toString();
    draft.selectedCategories = *categories;
    draft.transparency = transparency.toDouble();
    draft.step = *step;
    return draft;
}

double OnboardingDraft::clampedTransparency(double transparency)
{
    if (!std::isfinite(transparency)) {
        return kMaxTransparency;
    }
    return std::clamp(transparency, kMinTransparency, kMaxTransparency);
}

int OnboardingDraft::transparencyPercent(double transparency)
{
    return static_cast<int>(std::lround(clampedTransparency(transparency)));
}
