#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ViewEffect.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>

class OnboardingPill;
namespace kit {
class SymbolView;
class TextView;
} // namespace kit

// The three faces of the setup step's card: the short "compiling" show, the "Shield armed."
// success and the receipt of what the user set up. Main thread only.

// What the setup step's card shows.
enum class SetupReceiptPhase
{
    Compiling,
    Success,
    Ready
};

// A spinner over the shield, "Compiling your setup…" and three lines that tick off one by one.
class SetupCompilingCard final : public QWidget
{
    Q_OBJECT

public:
    explicit SetupCompilingCard(int revealedCount, QWidget* parent = nullptr);
    ~SetupCompilingCard() override;
    Q_DISABLE_COPY_MOVE(SetupCompilingCard)

    // "Arming panic hotkey", "Veiling your windows", "Locking in transparency".
    static const QStringList& lineTitles();

    int revealedCount() const { return m_revealedCount; }
    // Ticks the lines below `count`; each ticked line brightens over 0.3 s.
    void setRevealedCount(int count);
    // How bright each line is drawn now: 0.3 unticked … 1 ticked.
    double lineOpacity(int index) const;

private:
    struct Line;
    int m_revealedCount = 0;
    std::array<std::unique_ptr<Line>, 3> m_lines;
};

// The "Shield armed." card: the flame badge grows in as the card appears, and two rings pulse
// out from behind it once.
class SetupSuccessCard final : public QWidget
{
    Q_OBJECT

public:
    explicit SetupSuccessCard(QWidget* parent = nullptr);
};

// The receipt: a header with the chosen goal, whether the setup is saved to the account, six
// rows of what is now on, and a footer that saves the setup by signing in ("Save my setup") or,
// signed in, continues.
class SetupReceipt final : public QWidget
{
    Q_OBJECT

public:
    struct Values
    {
        QString persona; // a persona id
        qint64 selectedCount = 0;
        double transparency = 100; // percent
        bool isAuthenticated = false;
    };

    SetupReceipt(double cardCorner, std::function<void()> onContinue, QWidget* parent = nullptr);

    void setValues(const Values& values);

    // "Hotkey only" for no category, else "1 window", "3 windows" …
    static QString hiddenWindowsText(qint64 selectedCount);
    // The whole percent, rounded half away from zero: "73%".
    static QString transparencyText(double transparency);

private:
    QWidget* makeHeader();
    QWidget* makeStatus();
    QWidget* makeRows();
    QWidget* makeFooter(double cardCorner);

    std::function<void()> m_onContinue;
    kit::TextView* m_persona = nullptr;
    kit::SymbolView* m_statusSymbol = nullptr;
    kit::TextView* m_status = nullptr;
    kit::TextView* m_transparency = nullptr;
    kit::TextView* m_hiddenWindows = nullptr;
    QWidget* m_signedIn = nullptr;
    QWidget* m_signedOut = nullptr;
};
