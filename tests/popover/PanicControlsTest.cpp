#include "popover/PanicModePicker.h"
#include "popover/PauseShareButton.h"
#include "popover/SettingRow.h"
#include "popover/SwitchBinding.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Mode = WindowManager::PanicMode;

namespace {

bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 170 && c.blue() < 80;
}

QImage render(QWidget& view)
{
    return kit::renderView(view, 2.0, kit::Palette::canvas());
}

} // namespace

TEST_F(PopoverTest, PauseButtonShowsTheShareStateByCaptionFillAndTooltip)
{
    WindowManager& state = start();
    const QString live = QStringLiteral("Pause what your call sees (\u2303\u2325\u2318P)");
    const QString resume = QStringLiteral("Resume your live share (\u2303\u2325\u2318P)");
    struct Case
    {
        bool compact;
        Mode mode;
        bool paused;
        QString symbol;
        QString caption;
        QString tooltip;
    };
    const Case cases[] = {
        {false, Mode::Freeze, false, "pause.fill", "PAUSE", live},
        {false, Mode::Freeze, true, "play.fill", "FROZEN \u00B7 RESUME", resume},
        {false, Mode::Cover, false, "pause.fill", "PAUSE", live},
        {false, Mode::Cover, true, "play.fill", "COVERED \u00B7 RESUME", resume},
        {true, Mode::Freeze, false, "pause.fill", "", live},
        {true, Mode::Cover, true, "play.fill", "", resume},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption.toStdString() + (c.compact ? " compact" : ""));
        state.setPanicMode(c.mode);
        state.setSharePaused(c.paused);
        PauseShareButton button(state, c.compact);
        advance();
        EXPECT_EQ(button.symbolName(), c.symbol);
        EXPECT_EQ(button.caption(), c.caption);
        EXPECT_EQ(button.toolTipText(), c.tooltip);
        if (c.compact) {
            EXPECT_EQ(button.size(), QSize(22, 22));
        } else {
            const auto* caption = button.findChild<kit::TextLabel*>();
            ASSERT_NE(caption, nullptr);
            EXPECT_TRUE(near(caption->look().color, PauseShareButtonStyle::foreground(c.paused), 1));
        }
        // The capsule's fill just inside its leading end: flame while paused, the thin material
        // with its faint outline otherwise.
        const QImage picture = render(button);
        const QColor fill = colorAt(picture, QPointF(4, button.height() / 2.0));
        if (c.paused) {
            EXPECT_TRUE(flameLike(fill)) << fill.name().toStdString();
        } else {
            EXPECT_TRUE(near(fill, over(kit::ChipBackgroundStyle::material()), 3))
                << fill.name().toStdString();
        }
    }
}

TEST_F(PopoverTest, PauseButtonTogglesThePanicOnlyWhileSignedInAndIsNeverDisabled)
{
    WindowManager& state = start(false);
    PauseShareButton button(state);
    click(button);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(state.sharePaused());
    EXPECT_TRUE(hud.toasts.isEmpty());

    state.setIsAuthenticated(true);
    click(button);
    EXPECT_TRUE(state.sharePaused());
    EXPECT_EQ(button.caption(), QStringLiteral("FROZEN \u00B7 RESUME"));
    EXPECT_EQ(hud.toasts.size(), 1);
    // The look turns with the standard curve over 0.2 s.
    advance(0.1);
    EXPECT_GT(button.currentPausedness(), 0.5);
    EXPECT_LT(button.currentPausedness(), 1.0);
    advance(0.2);
    EXPECT_DOUBLE_EQ(button.currentPausedness(), 1.0);

    // Under Reduce Motion the change takes the short ease.
    t.accessibility.setReduceMotion(true);
    click(button);
    EXPECT_FALSE(state.sharePaused());
    advance(0.16);
    EXPECT_DOUBLE_EQ(button.currentPausedness(), 0.0);
}

TEST_F(PopoverTest, PauseTooltipFollowsTheShortcutAndTheLiveFillIsOpaqueUnderReduceTransparency)
{
    WindowManager& state = start();
    PauseShareButton button(state, true);
    ASSERT_TRUE(state.setPanicShortcut(HotKeyCombo{35, 0x1100, QStringLiteral("\u2303\u2318P")}));
    EXPECT_EQ(button.toolTipText(), QStringLiteral("Pause what your call sees (\u2303\u2318P)"));

    t.accessibility.setReduceTransparency(true);
    const QImage picture = render(button);
    EXPECT_TRUE(near(colorAt(picture, QPointF(4, 11)), kit::Palette::surface(), 2));
}

TEST_F(PopoverTest, PanicModePickerCallsItsOwnerForEverySegmentAndShowsTheOwnersChoice)
{
    QList<Mode> calls;
    PanicModePicker* pickerPointer = nullptr;
    PanicModePicker picker(Mode::Freeze, [&](Mode mode) {
        calls << mode;
        pickerPointer->setMode(mode); // the owner shows what the model now holds
    });
    pickerPointer = &picker;
    picker.resize(300, picker.sizeHint().height());
    EXPECT_EQ(picker.height(), 30);

    // Pressing the selected segment calls the owner again with the same mode.
    for (const Mode mode : {Mode::Freeze, Mode::Cover, Mode::Cover, Mode::Freeze}) {
        click(*picker.segment(mode));
    }
    EXPECT_EQ(calls, (QList<Mode>{Mode::Freeze, Mode::Cover, Mode::Cover, Mode::Freeze}));

    // The owner's change animates the white pill over 0.18 s: half-way both segments are tinted.
    click(*picker.segment(Mode::Cover));
    const auto pill = [&](Mode mode) {
        const QWidget* segment = picker.segment(mode);
        const QImage picture = render(picker);
        return colorAt(picture, QPointF(segment->geometry().left() + 6, picker.height() / 2.0));
    };
    advance(0.03);
    EXPECT_GT(pill(Mode::Cover).lightness(), 60);
    EXPECT_GT(pill(Mode::Freeze).lightness(), 60);
    advance(0.2);
    EXPECT_TRUE(near(pill(Mode::Cover), Qt::white, 2));
    EXPECT_TRUE(near(pill(Mode::Freeze), kit::Palette::surfaceRaised(), 2));
    // The two segments share the width.
    EXPECT_EQ(picker.segment(Mode::Freeze)->width(), picker.segment(Mode::Cover)->width());
}

TEST_F(PopoverTest, SettingRowWrapsItsSubtitleCutsItsTitleAndStartsWithTheTitleWithoutAnIcon)
{
    const QString longText = QStringLiteral("Words that go on and on well past the width of one narrow row");
    struct Case
    {
        std::optional<QString> icon;
        QString title;
        QString subtitle;
    };
    for (const Case& c :
         {Case{QStringLiteral("bell.slash"), QStringLiteral("Short"), QStringLiteral("One line")},
          Case{std::nullopt, longText, longText}}) {
        auto* trailing = new QWidget;
        trailing->setFixedSize(32, 18);
        SettingRow row(c.icon, c.title, c.subtitle, trailing);
        row.resize(240, row.heightForWidth(240) > 0 ? row.heightForWidth(240) : row.sizeHint().height());
        row.show();
        advance();
        EXPECT_EQ(row.iconTile() != nullptr, c.icon.has_value());
        EXPECT_EQ(row.titleView()->x(), c.icon ? 28 + 11 : 0);
        EXPECT_EQ(trailing->geometry().right(), 239) << "the control sits at the trailing edge";
        const kit::TextBlock title = row.titleView()->layoutAt(row.titleView()->width());
        const kit::TextBlock subtitle = row.subtitleView()->layoutAt(row.subtitleView()->width());
        EXPECT_EQ(title.lineCount(), 1);
        EXPECT_EQ(title.isTruncated(), !c.icon.has_value());
        EXPECT_FALSE(subtitle.isTruncated());
        EXPECT_EQ(subtitle.lineCount() > 1, !c.icon.has_value());
        EXPECT_GE(row.subtitleView()->height(), static_cast<int>(subtitle.size().height()));
    }
}

TEST_F(PopoverTest, BoundSwitchShowsOnlyWhatTheModelHolds)
{
    WindowManager& state = start(false);
    const QString app = QStringLiteral("com.tinyspeck.slackmacgap");
    kit::FlameToggle toggle;
    int writes = 0;
    bindSwitch(
        &toggle,
        &state,
        &WindowManager::hiddenBundleIDsChanged,
        [&] { return state.hiddenBundleIDs().contains(app); },
        [&](bool) {
            ++writes;
            state.toggleHidden(app);
        });

    // Signed out the operation refuses: the switch stays off, the model unchanged.
    click(toggle);
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(toggle.isOn());
    EXPECT_TRUE(state.hiddenBundleIDs().isEmpty());

    state.setIsAuthenticated(true);
    click(toggle);
    EXPECT_TRUE(toggle.isOn());
    EXPECT_TRUE(state.hiddenBundleIDs().contains(app));

    // A change made elsewhere shows too.
    state.toggleHidden(app);
    EXPECT_FALSE(toggle.isOn());
}
