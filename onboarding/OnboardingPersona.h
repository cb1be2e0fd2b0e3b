#pragma once

#include <QList>
#include <QString>

#include <optional>

// The glyph a persona is drawn with.
enum class PersonaIcon
{
    Briefcase,
    Users,
    Lightbulb,
    GraduationCap
};

// The system symbol the goal step draws for the glyph.
QString symbolName(PersonaIcon icon);

// One of the four fixed user goals the goal step offers; `id` is what the draft stores and the
// analytics events send. A plain value.
struct OnboardingPersona
{
    QString id;
    QString label;
    QString subtitle;
    QString desc;
    PersonaIcon icon = PersonaIcon::Briefcase;
    std::optional<QString> tag;

    bool operator==(const OnboardingPersona&) const = default;

    // The four personas in the order the goal step offers them; built once, on first use.
    static const QList<OnboardingPersona>& all();
    // The persona with exactly this id; the first persona when none has it (the empty id
    // included), so a stale or damaged draft still shows a goal.
    static const OnboardingPersona& find(const QString& id);
};
