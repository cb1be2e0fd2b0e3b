#include "onboarding/steps/HotkeyPracticeChat.h"

#include "onboarding/MockPicture.h"
#include "onboarding/MockWindowChrome.h"
#include "onboarding/steps/HotkeyPractice.h"
#include "onboarding/steps/StepLook.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"

#include <QVBoxLayout>

using namespace mock;

namespace {

// The people in the mock are invented.
const QString kSender = QStringLiteral("Dana Whitfield");
const QString kSenderInitials = QStringLiteral("DW");
const QString kColleague = QStringLiteral("Marcus");

const QColor& teamsPurple()
{
    static const QColor colour = kit::rgb(0x5B5FC7);
    return colour;
}

Item titleBar()
{
    const Item icon =
        zstack(Qt::AlignCenter,
               {fill(Shape::rounded(3), teamsPurple()),
                symbol(QStringLiteral("person.2.fill"), 7, kit::white(1), kit::FontWeight::bold)})
            .frame(14, 14);
    const Item liveDot = fill(Shape::circle(), OBTokens::live()).frame(6, 6);
    return hstack(Qt::AlignVCenter,
                  6,
                  {icon,
                   liveDot,
                   text(QStringLiteral("Microsoft Teams — #exec-confidential"),
                        OBFont::geist(kit::FontWeight::semibold, 12),
                        kit::white(0.9),
                        {.lineLimit = 1}),
                   spacer(6),
                   TrafficLights{true}.item()})
        .padding(14, 0)
        .frame(std::nullopt, 34)
        .background(kit::rgb(0x1C1D25))
        .overlay(Rule{std::nullopt, 1, 999, OBTokens::hairline()}.item(), Qt::AlignBottom);
}

Item sidebar()
{
    const Item channel = hstack(Qt::AlignVCenter,
                                5,
                                {fill(Shape::circle(), teamsPurple()).frame(6, 6),
                                 text(QStringLiteral("# Exec Confidential"),
                                      OBFont::mono(kit::FontWeight::semibold, 9.5),
                                      kit::white(1),
                                      {.lineLimit = 1})})
                             .padding(8, 5)
                             .background(faded(teamsPurple(), 0.2), Shape::rounded(6))
                             .clip(Shape::rounded(6))
                             .border(faded(teamsPurple(), 0.3), Shape::rounded(6));
    return vstack(Qt::AlignLeft,
                  6,
                  {channel,
                   Rule{80, 4, 999, kit::white(0.1)}.item(),
                   Rule{56, 4, 999, kit::white(0.05)}.item(),
                   spacer()})
        .padding(10)
        .frame(150, std::nullopt, Qt::AlignTop | Qt::AlignLeft)
        .background(kit::rgb(0x101115))
        .overlay(fill(Shape::rect(), OBTokens::hairline()).frame(1, std::nullopt), Qt::AlignRight);
}

Item messagePane()
{
    const Item avatar = text(kSenderInitials, OBFont::geist(kit::FontWeight::bold, 8), kit::white(1))
                            .frame(20, 20)
                            .background(teamsPurple())
                            .clip(Shape::circle());
    const Item header = hstack(
        Qt::AlignVCenter,
        6,
        {avatar,
         text(kSender + QStringLiteral(" (Chief of Staff)"),
              OBFont::geist(kit::FontWeight::bold, 13),
              OBTokens::textPrimary(),
              {.lineLimit = 1}),
         spacer(6),
         text(QStringLiteral("10:42 AM"), OBFont::mono(kit::FontWeight::regular, 9), OBTokens::textMuted())});
    const QString message = QStringLiteral("Please tell me you're not sharing your screen... The CEO signed ")
                            + kColleague
                            + QStringLiteral("'s termination and your VP promotion. Don't let anyone see.");
    const Item body =
        text(message, OBFont::geist(kit::FontWeight::regular, 12), kit::white(0.9), {.lineSpacing = 3})
            .fixedSize(false, true)
            .padding(QMarginsF(26, 0, 0, 0));
    return vstack(Qt::AlignLeft, 6, {header, body})
        .padding(12)
        .fillSize(Qt::AlignTop | Qt::AlignLeft)
        .background(kit::rgb(0x15161C));
}

Item veiledOverlay(std::optional<double> reactionTime)
{
    return vstack(Qt::AlignHCenter,
                  8,
                  {text(HotkeyPracticeChat::veiledTitle(reactionTime),
                        OBFont::mono(kit::FontWeight::medium, 13).tracked(3.12),
                        OBTokens::flame()),
                   text(HotkeyPracticeChat::veiledHint(reactionTime),
                        OBFont::geist(kit::FontWeight::regular, 13),
                        kit::white(0.7),
                        {.alignment = Qt::AlignHCenter})})
        .padding(12)
        .fillSize()
        .background(kit::rgb(0x000000, 0.92));
}

} // namespace

HotkeyPracticeChat::HotkeyPracticeChat(QWidget* parent)
    : QWidget(parent)
    , m_picture(new MockPicture)
{
    setObjectName(QStringLiteral("hotkey.chat"));
    setAccessibleName(QStringLiteral("Microsoft Teams — #exec-confidential"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_picture);
    m_veil.setOnChange([this] { redraw(); });
    redraw();
}

void HotkeyPracticeChat::setVeiled(bool veiled)
{
    const double target = veiled ? 1 : 0;
    if (!m_shown) {
        m_shown = true;
        m_veil.set(target);
    } else if (target != m_veil.target()) {
        m_veil.animate(target, OBMotion::curve(kDuration));
    }
    redraw();
}

void HotkeyPracticeChat::setReactionTime(std::optional<double> seconds)
{
    if (seconds != m_reactionTime) {
        m_reactionTime = seconds;
        redraw();
    }
}

void HotkeyPracticeChat::redraw()
{
    m_picture->setItem(item(m_veil.value(), m_reactionTime));
    const bool veiled = m_veil.target() > 0;
    setAccessibleDescription(
        veiled ? veiledTitle(m_reactionTime) + QStringLiteral("\n") + veiledHint(m_reactionTime) : QString());
}

Item HotkeyPracticeChat::item(double veil, std::optional<double> reactionTime)
{
    const Item body = hstack(Qt::AlignVCenter, 0, {sidebar(), messagePane()}).frame(std::nullopt, 104);
    Item window = vstack(Qt::AlignHCenter, 0, {titleBar(), body})
                      .opacity(1 - 0.8 * veil)
                      .blur(2 * veil)
                      .scale(1 - 0.02 * veil);
    if (veil > 0) {
        // The overlay comes in and goes out with the veil: scaled from 0.96 and faded.
        window = window.overlay(veiledOverlay(reactionTime).scale(0.96 + 0.04 * veil).opacity(veil));
    }
    const Shape corners = Shape::rounded(16);
    window = window.background(kit::rgb(0x14151B))
                 .clip(corners)
                 .border(kit::mixColors(OBTokens::hairlineStrong(), faded(OBTokens::flame(), 0.55), veil),
                         corners);
    if (veil > 0) {
        window = window.shadow({faded(OBTokens::flame(), 0.2 * veil), 22, QPointF()});
    }
    return window;
}

QString HotkeyPracticeChat::veiledTitle(std::optional<double> reactionTime)
{
    if (!reactionTime) {
        return QStringLiteral("VEILED");
    }
    return QStringLiteral("VEILED IN %1S").arg(formatReactionTime(*reactionTime));
}

QString HotkeyPracticeChat::veiledHint(std::optional<double> reactionTime)
{
    return reactionTime ? QStringLiteral("Press again to bring it back.")
                        : QStringLiteral("Press ⇧⌘H for real to time yourself.");
}
