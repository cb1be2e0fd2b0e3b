#include "popover/PanicModePicker.h"
#include "popover/PauseShareButton.h"
#include "popover/SettingRow.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextView.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Mode = WindowManager::PanicMode;

namespace {

// The colour just inside the leading end of a capsule-shaped control.
QColor leadingFill(QWidget& control)
{
    const QImage picture = kit::renderView(control, 2.0, kit::Palette::canvas());
    return colorAt(picture, QPointF(4, control.height() / 2.0));
}

} // namespace

TEST_F(PopoverTest, PauseButtonShowsTheShareStateByCaptionFillAndTooltip)
{
    WindowManager& state = start();
    const QString live = QStringLiteral("Pause what your call sees (\u2303\u2325\u2318P)");
    const QString resume = QStringLiteral("Resume your live share (\u2303\u2325\u2318P)");
    const std::tuple<bool, Mode, bool, QString, QString, QString> cases[] = {
        // compact, mode, paused: symbol, caption, tooltip
        {false, Mode::Freeze, false, "pause.fill", "PAUSE", live},
        {false, Mode::Freeze, true, "play.fill", "FROZEN \u00B7 RESUME", resume},
        {false, Mode::Cover, false, "pause.fill", "PAUSE", live},
        {false, Mode::Cover, true, "play.fill", "COVERED \u00B7 RESUME", resume},
        {true, Mode::Freeze, false, "pause.fill", "", live},
        {true, Mode::Cover, true, "play.fill", "", resume},
    };
    for (const auto& [compact, mode, paused, symbol, caption, tooltip] : cases) {
        SCOPED_TRACE(caption.toStdString() + (compact ? " compact" : ""));
        state.setPanicMode(mode);
        state.setSharePaused(paused);
        PauseShareButton button(state, compact);
        advance();
        EXPECT_EQ(std::tuple(button.symbolName(), button.caption(), button.toolTipText()),
                  std::tuple(symbol, caption, tooltip));
        EXPECT_EQ(button.size() == QSize(22, 22), compact);
        // Flame while paused, else the thin material.
        const QColor fill = leadingFill(button);
        EXPECT_TRUE(paused ? fill.red() > 200 && fill.blue() < 80
                           : near(fill, over(kit::ChipBackgroundStyle::material()), 3))
            << fill.name().toStdString();
    }

    // A new shortcut shows in the tooltip at once; Reduce Transparency makes the live fill opaque.
    state.setSharePaused(false);
    PauseShareButton button(state, true);
    ASSERT_TRUE(state.setPanicShortcut(HotKeyCombo{35, 0x1100, QStringLiteral("\u2303\u2318P")}));
    EXPECT_EQ(button.toolTipText(), QStringLiteral("Pause what your call sees (\u2303\u2318P)"));
    t.accessibility.setReduceTransparency(true);
    EXPECT_TRUE(near(leadingFill(button), kit::Palette::surface(), 2));
}

TEST_F(PopoverTest, PauseButtonTogglesThePanicOnlyWhileSignedInAndIsNeverDisabled)
{
    WindowManager& state = start(false);
    auto& button = static_cast<PauseShareButton&>(host(new PauseShareButton(state)));
    click(button);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(state.sharePaused());

    state.setIsAuthenticated(true);
    click(button);
    EXPECT_TRUE(state.sharePaused());
    EXPECT_EQ(hud.toasts.size(), 1);
    // The look turns with the standard curve over 0.2 s, or the short ease under Reduce Motion.
    advance(0.1);
    EXPECT_GT(button.currentPausedness(), 0.5);
    EXPECT_LT(button.currentPausedness(), 1.0);
    t.accessibility.setReduceMotion(true);
    click(button);
    advance(0.16);
    EXPECT_DOUBLE_EQ(button.currentPausedness(), 0.0);
}

TEST_F(PopoverTest, PanicModePickerCallsItsOwnerForEverySegmentAndShowsTheOwnersChoice)
{
    QList<Mode> calls;
    PanicModePicker* shown = nullptr;
    auto& picker = static_cast<PanicModePicker&>(host(new PanicModePicker(Mode::Freeze, [&](Mode mode) {
        calls << mode;
        shown->setMode(mode); // as an owner shows what the model now holds
    })));
    shown = &picker;
    // Pressing the selected segment calls the owner again with the same mode.
    for (const Mode mode : {Mode::Freeze, Mode::Cover, Mode::Cover}) {
        click(*picker.segment(mode));
    }
    EXPECT_EQ(calls, (QList<Mode>{Mode::Freeze, Mode::Cover, Mode::Cover}));
    EXPECT_EQ(picker.segment(Mode::Freeze)->width(), picker.segment(Mode::Cover)->width());
    advance();

    // The white pill moves with the choice animation: half-way both segments are tinted.
    const auto pill = [&](Mode mode) {
        const QImage picture = kit::renderView(picker, 2.0, kit::Palette::canvas());
        return colorAt(picture, QPointF(picker.segment(mode)->geometry().left() + 6, picker.height() / 2.0));
    };
    click(*picker.segment(Mode::Freeze));
    advance(0.03);
    EXPECT_GT(pill(Mode::Cover).lightness(), 60);
    EXPECT_GT(pill(Mode::Freeze).lightness(), 60);
    advance(0.2);
    EXPECT_TRUE(near(pill(Mode::Freeze), Qt::white, 2));
    EXPECT_TRUE(near(pill(Mode::Cover), kit::Palette::surfaceRaised(), 2));
}

TEST_F(PopoverTest, SettingRowWrapsItsSubtitleCutsItsTitleAndStartsWithTheTitleWithoutAnIcon)
{
    const QString longText = QStringLiteral("Words that go on and on well past the width of one narrow row");
    for (const bool withIcon : {true, false}) {
        auto* trailing = new QWidget;
        trailing->setFixedSize(32, 18);
        const QString text = withIcon ? QStringLiteral("Short") : longText;
        SettingRow row(
            withIcon ? std::optional(QStringLiteral("bell.slash")) : std::nullopt, text, text, trailing);
        row.resize(240, row.heightForWidth(240));
        row.show();
        EXPECT_EQ(row.titleView()->x(), withIcon ? 28 + 11 : 0);
        EXPECT_EQ(trailing->geometry().right(), 239);
        const kit::TextBlock title = row.titleView()->layoutAt(row.titleView()->width());
        const kit::TextBlock subtitle = row.subtitleView()->layoutAt(row.subtitleView()->width());
        EXPECT_EQ(std::tuple(title.lineCount(), title.isTruncated()), std::tuple(1, !withIcon));
        EXPECT_EQ(std::tuple(subtitle.lineCount() > 1, subtitle.isTruncated()), std::tuple(!withIcon, false));
        EXPECT_GE(row.subtitleView()->height(), static_cast<int>(subtitle.size().height()));
    }
}
