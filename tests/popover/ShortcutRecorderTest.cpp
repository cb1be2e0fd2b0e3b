#include "popover/ShortcutRecorder.h"

#include "platform/EventMonitor.h"
#include "shell/kit/Tooltips.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace testing_support;

namespace {

// A window with a focused text field and a recorder, keys typed into the field as the user types
// them.
struct RecorderScene
{
    KitEnvironment env;
    QList<HotKeyCombo> offered;
    bool accepts = true;
    QWidget window;
    QLineEdit* field = new QLineEdit;
    ShortcutRecorder* recorder = new ShortcutRecorder(
        HotKeyCombo::defaultPanicShortcut(),
        [this](const HotKeyCombo& combo) {
            offered.append(combo);
            return accepts;
        },
        env.t.services());

    RecorderScene()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(recorder);
        window.show();
        field->setFocus();
    }
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(field, key, modifiers);
    }
    int beeps() const { return env.t.desktop.beepCount(); }
};

} // namespace

TEST(ShortcutRecorder, RecordsThroughTheKeyTranslationRefusesPlainKeysAndCancelsOnEscape)
{
    struct Case
    {
        const char* what;
        QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
        std::optional<HotKeyCombo> recorded;
        int beeps;
        bool stillRecording;
    };
    // Qt's Control is ⌘, Meta is ⌃, Alt is ⌥.
    const Case cases[] = {
        {"⌃⌘K",
         {{Qt::Key_K, Qt::MetaModifier | Qt::ControlModifier}},
         HotKeyCombo{40, 0x1100, "⌃⌘K"},
         0,
         false},
        {"⌥⇧F5",
         {{Qt::Key_F5, Qt::AltModifier | Qt::ShiftModifier}},
         HotKeyCombo{96, 0xA00, "⌥⇧F5"},
         0,
         false},
        {"plain, then shifted letters beep",
         {{Qt::Key_K, {}}, {Qt::Key_K, Qt::ShiftModifier}},
         std::nullopt,
         2,
         true},
        {"a plain key, then a valid one",
         {{Qt::Key_J, {}}, {Qt::Key_Space, Qt::ControlModifier}},
         HotKeyCombo{49, 0x100, "⌘Space"},
         1,
         false},
        {"Escape", {{Qt::Key_Escape, {}}}, std::nullopt, 0, false},
    };
    for (const Case& c : cases) {
        RecorderScene scene;
        scene.env.t.desktop.activateApp(
            scene.env.t.desktop.launchApp(QStringLiteral("com.apple.Notes"), "Notes"));
        scene.recorder->click();
        ASSERT_TRUE(scene.recorder->isRecording());
        EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("Press keys…"));
        // The accessory application comes forward so that the keys reach it.
        EXPECT_TRUE(scene.env.t.desktop.isActive());
        EXPECT_EQ(kit::TooltipSource::of(scene.recorder)->text(),
                  QStringLiteral("Press the new shortcut, or Esc to cancel"));
        for (const auto& [key, modifiers] : c.keys) {
            scene.type(key, modifiers);
        }
        EXPECT_EQ(scene.offered, c.recorded ? QList<HotKeyCombo>{*c.recorded} : QList<HotKeyCombo>{})
            << c.what;
        EXPECT_EQ(scene.beeps(), c.beeps) << c.what;
        EXPECT_EQ(scene.recorder->isRecording(), c.stillRecording) << c.what;
        // Nothing typed while recording reached the focused field.
        EXPECT_EQ(scene.field->text(), QString()) << c.what;
        if (!c.stillRecording) {
            EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("⌃⌥⌘P")) << c.what;
            EXPECT_EQ(kit::TooltipSource::of(scene.recorder)->text(),
                      QStringLiteral("Click to change the shortcut"));
            scene.type(Qt::Key_A);
            EXPECT_EQ(scene.field->text(), QStringLiteral("a")) << c.what;
        }
    }
}

TEST(ShortcutRecorder, ARefusalNoticeLastsItsFullTimeFromTheLatestRefusal)
{
    RecorderScene scene;
    scene.accepts = false;
    scene.recorder->click();
    scene.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(scene.recorder->isRejected());
    EXPECT_FALSE(scene.recorder->isRecording());
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("In use — try another"));

    // A click during the notice records again at once; a second refusal a second later.
    scene.env.advance(1.0);
    scene.recorder->click();
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("Press keys…"));
    scene.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(scene.recorder->isRejected());

    // The first refusal's time is over; the second's is not.
    scene.env.advance(1.0);
    EXPECT_TRUE(scene.recorder->isRejected());
    scene.env.advance(0.75);
    EXPECT_TRUE(scene.recorder->isRejected());
    scene.env.advance(0.1);
    EXPECT_FALSE(scene.recorder->isRejected());
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("⌃⌥⌘P"));
    EXPECT_EQ(scene.offered.size(), 2);
}

TEST(ShortcutRecorder, HidingOrDestroyingTheRecorderGivesTheKeysBack)
{
    {
        RecorderScene scene;
        scene.recorder->click();
        scene.type(Qt::Key_A);
        EXPECT_EQ(platform::EventMonitor::monitorCount(), 1);
        // The popover closes with the recorder on it.
        scene.window.hide();
        EXPECT_FALSE(scene.recorder->isRecording());
        EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
        scene.window.show();
        scene.type(Qt::Key_B);
        EXPECT_EQ(scene.field->text(), QStringLiteral("b"));
        EXPECT_EQ(scene.beeps(), 1);

        // The page is torn down while recording.
        scene.recorder->click();
        delete scene.recorder;
        EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
        scene.type(Qt::Key_C);
        EXPECT_EQ(scene.field->text(), QStringLiteral("bc"));
    }
    // A second click cancels like Escape.
    RecorderScene scene;
    scene.recorder->click();
    scene.recorder->click();
    EXPECT_FALSE(scene.recorder->isRecording());
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    EXPECT_TRUE(scene.offered.isEmpty());
}
