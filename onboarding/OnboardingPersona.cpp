#include "onboarding/OnboardingPersona.h"

QString symbolName(PersonaIcon icon)
{
    switch (icon) {
    case PersonaIcon::Briefcase:
        return QStringLiteral("briefcase");
    case PersonaIcon::Users:
        return QStringLiteral("person.2");
    case PersonaIcon::Lightbulb:
        return QStringLiteral("lightbulb");
    case PersonaIcon::GraduationCap:
        break;
    }
    return QStringLiteral("graduationcap");
}

const QList<OnboardingPersona>& OnboardingPersona::all()
{
    // A function-local static: built once, safely even on a concurrent first use.
    static const QList<OnboardingPersona> kAll = {
        {QStringLiteral("professional"),
         QStringLiteral("Protect Client Confidentiality"),
         QStringLiteral("Keep client details, proposals, and pricing private"),
         QStringLiteral("Prevent confidential client information from appearing during presentations."),
         PersonaIcon::Briefcase,
         QStringLiteral("Most common")},
        {QStringLiteral("remote"),
         QStringLiteral("Maintain Deep Work & Privacy"),
         QStringLiteral("Keep messages, notes, and tabs out of sight"),
         QStringLiteral("Protect the work you need open while you share with your team."),
         PersonaIcon::Users,
         std::nullopt},
        {QStringLiteral("curious"),
         QStringLiteral("Hide Sensitive Internal Data"),
         QStringLiteral("Shield leadership chats, finances, and planning"),
         QStringLiteral("Keep internal discussions and numbers private during every meeting."),
         PersonaIcon::Lightbulb,
         std::nullopt},
        {QStringLiteral("student"),
         QStringLiteral("Prevent Accidental Screen Sharing"),
         QStringLiteral("Stay protected when working from one display"),
         QStringLiteral("Keep personal chats and files private when every open window is one ⌘-Tab away."),
         PersonaIcon::GraduationCap,
         QStringLiteral("You're not alone — ") + QString::number(73)
             + QStringLiteral("% pick this when WFH")},
    };
    return kAll;
}

const OnboardingPersona& OnboardingPersona::find(const QString& id)
{
    const QList<OnboardingPersona>& personas = all();
    for (const OnboardingPersona& persona : personas) {
        if (persona.id == id) {
            return persona;
        }
    }
    return personas.front();
}
