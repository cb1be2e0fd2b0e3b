#pragma once

#include "onboarding/MockLayout.h"
#include "onboarding/OnboardingBinding.h"
#include "onboarding/mocks/PersonaPreviewWindow.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ViewEffect.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class SelectableRow;
class MockPicture;
namespace kit {
class TextView;
} // namespace kit

// The goal step's picture of the user's screen mid-share: the four personas' preview windows
// on top of each other, the chosen one shown and the rest faded out (before any choice the
// first one, slightly dimmed). A new choice cross-fades over 0.35 s. Paint-only. Main thread.
class PersonaStage final
    : public QWidget
    , public kit::SelfPainted
{
    Q_OBJECT

public:
    static constexpr double kMaxWidth = 370;
    static constexpr double kDuration = 0.35;

    explicit PersonaStage(const QString& persona, QWidget* parent = nullptr);

    void setPersona(const QString& persona);

    // The preview window of a persona id: "professional" the e-mail, "remote" the notes,
    // "curious" the sheet, any other the chat.
    static PersonaPreview previewFor(const QString& personaID);
    // The opacity the preview of the persona at `index` (of all the personas) rests at for this
    // choice.
    static double restingOpacity(const QString& persona, int index);
    // The opacity drawn now.
    double opacityNow(int index) const;

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override;
    std::optional<kit::ContentPlacement> contentPlacement() const override { return std::nullopt; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_persona;
    std::vector<mock::Item> m_previews;
    std::vector<std::unique_ptr<kit::AnimatedValue>> m_opacities;
};

// Step 0, "Your goal": the user picks the persona the rest of the flow is built around, from a
// column of cards beside a picture of their screen mid-share that shows what that persona would
// not want seen. The choice is the flow's, read and written through the binding; once made it
// can be changed but not cleared. Main thread only.
class OnboardingStepGoal final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QString> persona; // the chosen persona's id; empty while none is chosen
        StateObserver observe;
    };

    explicit OnboardingStepGoal(Input input, QWidget* parent = nullptr);

    static constexpr double kSelectionDuration = 0.2;

private:
    struct Card
    {
        QString id;
        SelectableRow* row = nullptr;
        MockPicture* tile = nullptr;
        MockPicture* indicator = nullptr;
        std::shared_ptr<kit::AnimatedValue> selection = nullptr; // 0 … 1, the look of the tile and indicator
    };

    QWidget* makeCards();
    QWidget* makeScreen();
    void select(const QString& id) const;
    void sync();

    Input m_input;
    std::vector<Card> m_cards;
    PersonaStage* m_stage = nullptr;
    QWidget* m_prompt = nullptr;
    kit::TextView* m_description = nullptr;
};
