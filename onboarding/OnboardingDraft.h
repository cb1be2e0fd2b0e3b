#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {
class UserDefaults;
} // namespace platform

// The resumable state of the onboarding flow: the chosen persona and categories, the demo's
// transparency and the furthest step reached. Stored as one JSON object in the user defaults so
// that a flow cut short by closing the window or quitting resumes where it stood. A plain value.
struct OnboardingDraft
{
    QString persona;                // a persona id; empty while none is chosen
    QStringList selectedCategories; // category raw values, in the categories' own order
    double transparency = 100.0;    // percent; 100 is opaque
    qint64 step = 0;                // the furthest step index reached (the flow clamps it)

    // The default draft: no persona, work chat and finance chosen, transparency 100, step 0.
    OnboardingDraft();

    bool operator==(const OnboardingDraft&) const = default;

    static inline const QString kDefaultsKey = QStringLiteral("onboardingDraft");

    // The range the demo's slider keeps the transparency in.
    static constexpr double kMinTransparency = 50.0;
    static constexpr double kMaxTransparency = 100.0;

    // The stored draft as it was stored (a transparency outside the slider's range too: it is
    // clamped only where it is shown or applied), or the whole default draft when nothing usable
    // is stored: the key is absent, holds no data value, or its JSON is not exactly a valid draft.
    static OnboardingDraft load(const platform::UserDefaults& defaults);
    // The stored draft; none when nothing usable is stored.
    static std::optional<OnboardingDraft> stored(const platform::UserDefaults& defaults);
    // Replaces the stored draft; a draft that cannot be encoded is not written.
    void save(platform::UserDefaults& defaults) const;

    // The stored JSON form ("persona", "selectedCategories", "transparency", "step"); none when a
    // number is not finite.
    std::optional<QByteArray> encoded() const;
    // A draft from its JSON form: all four members with their types and an integral step within
    // 64 bits, else none. Members beyond the four are ignored.
    static std::optional<OnboardingDraft> decode(const QByteArray& json);

    // A transparency forced into the slider's range; a value that is not a number becomes the
    // maximum (opaque), so a damaged draft never hides the demo window.
    static double clampedTransparency(double transparency);
    // The whole percent shown for a transparency: clamped first, then rounded half away from zero.
    static int transparencyPercent(double transparency);
};
