#include "onboarding/steps/ScreenRecordingSettingsMock.h"

#include "onboarding/MockWindowChrome.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"

using namespace mock;

namespace {

// A row standing for some other app: an icon, a name bar of `barWidth` and its switch.
Item placeholderRow(double barWidth, bool on)
{
    return hstack(Qt::AlignVCenter,
                  8,
                  {fill(Shape::rounded(4), kit::white(0.1)).frame(18, 18),
                   fill(Shape::rounded(2), kit::white(0.1)).frame(barWidth, 6),
                   spacer(0),
                   MockSwitch{on ? 1.0 : 0.0, settingsBlue()}.item().opacity(0.45)})
        .padding(10, 8);
}

Item divider()
{
    return fill(Shape::rect(), OBTokens::hairline()).frame(std::nullopt, 1).padding(QMarginsF(36, 0, 0, 0));
}

Item veilmoxRow(double granted)
{
    const double waiting = 1 - granted;
    const Item pointer = symbol(QStringLiteral("cursorarrow"), 13, Qt::white, kit::FontWeight::semibold)
                             .shadow({kit::rgb(0x000000, 0.6), 2, QPointF(0, 1)})
                             .offset(9, 12)
                             .opacity(waiting);
    const Item toggle =
        MockSwitch{granted, settingsBlue()}.item().overlay(pointer, Qt::AlignBottom | Qt::AlignRight);
    const Shape shape = Shape::rounded(6);
    return hstack(Qt::AlignVCenter,
                  8,
                  {image(QStringLiteral("veilmoxOfficialLogo")).frame(18, 18),
                   text(QStringLiteral("Veilmox"),
                        OBFont::geist(kit::FontWeight::medium, 10.5),
                        OBTokens::textPrimary()),
                   spacer(),
                   toggle})
        .padding(10, 8)
        .background(fill(shape, faded(OBTokens::flame(), 0.08 * waiting)))
        .overlay(strokeBorder(shape, faded(OBTokens::selectedBorder(), waiting)));
}

} // namespace

const QColor& settingsBlue()
{
    static const QColor blue = kit::rgb(0x0A84FF);
    return blue;
}

Item MockSwitch::item() const
{
    const Item knob = fill(Shape::circle(), Qt::white)
                          .frame(13, 13)
                          .shadow({kit::rgb(0x000000, 0.25), 1, QPointF(0, 0.5)})
                          .padding(1);
    // The knob's travel: from the leading end to the trailing one of the 26-point track.
    return fill(Shape::capsule(), kit::mixColors(kit::white(0.16), tint, on))
        .frame(26, 15)
        .overlay(knob.offset(11 * on, 0), Qt::AlignLeft | Qt::AlignVCenter);
}

Item ScreenRecordingSettingsMock::item() const
{
    const Shape listShape = Shape::rounded(8);
    const Item list =
        vstack(
            Qt::AlignHCenter,
            0,
            {placeholderRow(62, true), divider(), veilmoxRow(granted), divider(), placeholderRow(48, false)})
            .background(fill(listShape, kit::white(0.04)))
            .overlay(strokeBorder(listShape, OBTokens::hairline()));
    const Item content =
        vstack(
            Qt::AlignLeft,
            10,
            {hstack(
                 Qt::AlignVCenter,
                 5,
                 {symbol(
                      QStringLiteral("chevron.left"), 8.5, OBTokens::textMuted(), kit::FontWeight::semibold),
                  text(QStringLiteral("Screen & System Audio Recording"),
                       OBFont::geist(kit::FontWeight::semibold, 11),
                       OBTokens::textPrimary(),
                       {.lineLimit = 1})}),
             text(QStringLiteral("Allow the applications below to record the contents of your screen."),
                  OBFont::geist(kit::FontWeight::regular, 9),
                  OBTokens::textMuted(),
                  {.lineSpacing = 2})
                 .fixedSize(false, true),
             list})
            .padding(12);
    return MockWindowShell{QStringLiteral("Privacy & Security"),
                           faded(OBTokens::textPrimary(), 0.75),
                           kit::rgb(0x1E1E20),
                           kit::rgb(0x28282A),
                           OBTokens::hairlineStrong(),
                           Item(),
                           content}
        .item();
}
