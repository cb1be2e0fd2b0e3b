#include "platform/KeyEvent.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

using namespace platform;

TEST(KeyEvent, QtModifiersFollowTheMacConvention)
{
    const auto event = keyEventFromQt(Qt::Key_P, Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->keyCode, keycode::kP);
    EXPECT_EQ(event->modifierFlags,
              kEventModifierFlagCommand | kEventModifierFlagControl | kEventModifierFlagOption);
    EXPECT_EQ(event->charactersIgnoringModifiers, QStringLiteral("p"));
}

TEST(KeyEvent, KeysMapToTheirVirtualKeyCodes)
{
    struct Case
    {
        int key;
        std::uint16_t code;
    };
    const Case cases[] = {{Qt::Key_A, 0},
                          {Qt::Key_H, 4},
                          {Qt::Key_K, 40},
                          {Qt::Key_Space, 49},
                          {Qt::Key_Return, 36},
                          {Qt::Key_Backspace, 51},
                          {Qt::Key_Delete, 117},
                          {Qt::Key_Left, 123},
                          {Qt::Key_F1, 122},
                          {Qt::Key_F12, 111},
                          {Qt::Key_1, 18},
                          {Qt::Key_Exclam, 18},
                          {Qt::Key_Escape, 53}};
    for (const Case& c : cases) {
        EXPECT_EQ(virtualKeyCode(c.key), c.code) << c.key;
    }
    EXPECT_FALSE(virtualKeyCode(Qt::Key_VolumeUp));
    EXPECT_FALSE(keyEventFromQt(Qt::Key_Control, Qt::ControlModifier));
}

TEST(KeyEvent, KeysThatTypeNothingHaveNoCharactersAndKeypadKeysTheirOwnCodes)
{
    const auto f1 = keyEventFromQt(Qt::Key_F1, Qt::MetaModifier);
    ASSERT_TRUE(f1);
    EXPECT_NE(f1->modifierFlags & kEventModifierFlagFunction, 0U);
    const auto keypad = keyEventFromQt(Qt::Key_5, Qt::KeypadModifier);
    ASSERT_TRUE(keypad);
    EXPECT_EQ(keypad->keyCode, 87);
    const QKeyEvent qt(QEvent::KeyPress, Qt::Key_K, Qt::AltModifier | Qt::ShiftModifier, QStringLiteral("K"));
    const auto fromEvent = keyEventFromQt(qt);
    ASSERT_TRUE(fromEvent);
    EXPECT_EQ(fromEvent->modifierFlags, kEventModifierFlagOption | kEventModifierFlagShift);
}
