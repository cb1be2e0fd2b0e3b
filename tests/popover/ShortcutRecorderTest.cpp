#include "popover/ShortcutRecorder.h"

#include "platform/EventMonitor.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QKeySequence>
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
        const char* keys; // Qt's Ctrl is ⌘, Meta is ⌃, Alt is ⌥
        std::optional<HotKeyCombo> recorded;
        int beeps;
    };
    const Case cases[] = {
        {"Meta+Ctrl+K", HotKeyCombo{40, 0x1100, "⌃⌘K"}, 0},
        {"K, Shift+K", std::nullopt, 2},
        {"J, Ctrl+Space", HotKeyCombo{49, 0x100, "⌘Space"}, 1},
        {"Esc", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        RecorderScene scene;
        scene.env.t.desktop.activateApp(
            scene.env.t.desktop.launchApp(QStringLiteral("com.apple.Notes"), "Notes"));
        scene.recorder->click();
        EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("Press keys…"));
        // The accessory application comes forward so that the keys reach it.
        EXPECT_TRUE(scene.env.t.desktop.isActive());
        const QKeySequence keys(QString::fromLatin1(c.keys));
        for (int i = 0; i < keys.count(); ++i) {
            scene.type(keys[i].key(), keys[i].keyboardModifiers());
        }
        EXPECT_EQ(scene.offered, c.recorded ? QList<HotKeyCombo>{*c.recorded} : QList<HotKeyCombo>{});
        EXPECT_EQ(scene.beeps(), c.beeps);
        // Nothing typed while recording reached the focused field; afterwards keys do.
        EXPECT_EQ(scene.field->text(), QString());
        const bool stillRecording = !c.recorded && c.beeps > 0;
        EXPECT_EQ(scene.recorder->isRecording(), stillRecording);
        if (!stillRecording) {
            EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("⌃⌥⌘P"));
            scene.type(Qt::Key_A);
            EXPECT_EQ(scene.field->text(), QStringLiteral("a"));
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
    RecorderScene scene;
    // A second click cancels like Escape.
    scene.recorder->click();
    scene.recorder->click();
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);

    // The popover closes with the recorder recording on it.
    scene.recorder->click();
    scene.type(Qt::Key_A);
    scene.window.hide();
    EXPECT_FALSE(scene.recorder->isRecording());
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    scene.window.show();
    scene.type(Qt::Key_B);
    EXPECT_EQ(scene.field->text(), QStringLiteral("b"));

    // The page is torn down while recording.
    scene.recorder->click();
    delete scene.recorder;
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    scene.type(Qt::Key_C);
    EXPECT_EQ(scene.field->text(), QStringLiteral("bc"));
    EXPECT_TRUE(scene.offered.isEmpty());
}
