// The popover's main page rendered to PNG files (see picturesFolder) signed in, without the
// Screen Recording permission, paused, and with two displays, each checked at sentinel pixels.
#include "popover/DisplayStrip.h"
#include "popover/PauseShareButton.h"
#include "popover/PreviewCard.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/popover/MainPageFixture.h"

using namespace testing_support;

namespace {

const QColor kMail = kit::rgb(0xe8e8ec);

struct MainPagePictures : MainPageFixture
{
    void SetUp() override
    {
        useMainDisplay(QRectF(0, 0, 1512, 982), 1, QColor(0x1f, 0x3b, 0x5c));
        addWindow(QStringLiteral("com.example.mail"), QStringLiteral("Mail"), {80, 120, 700, 520}, kMail);
        addWindow(QStringLiteral("com.example.chat"),
                  QStringLiteral("Chat"),
                  {620, 260, 640, 460},
                  kit::rgb(0x4a154b));
        addWindow(QStringLiteral("com.example.bank"),
                  QStringLiteral("Banking"),
                  {960, 90, 480, 380},
                  kit::rgb(0x0b6e4f));
        addWindow(QStringLiteral("com.example.notes"),
                  QStringLiteral("Notes"),
                  {240, 560, 520, 340},
                  kit::rgb(0xf5d04c));
    }

    QImage picture(const char* name)
    {
        settle(0.5);
        const QImage image = kit::renderView(*root, 2.0);
        EXPECT_TRUE(image.save(picturePath(QString::fromLatin1(name))));
        return image;
    }
    // A point of a view, in the popover's coordinates.
    QPointF at(const QWidget& view, QPointF local) const
    {
        return QPointF(view.mapTo(root.get(), QPoint())) + local;
    }
};

} // namespace

TEST_F(MainPagePictures, SignedInWithAndWithoutPermissionPausedAndWithTwoDisplays)
{
    open();
    PreviewCard& card = *page().previewCard();
    QImage image = picture("main-page");
    // The frame is narrower than the card: bars at its sides, the desktop in the middle.
    EXPECT_TRUE(near(colorAt(image, at(card, {6, 75})), kit::Palette::surface()));
    // Mail's window, where no other lies over it.
    const QRectF frame = card.imageRect();
    EXPECT_TRUE(
        near(colorAt(image, at(card, frame.topLeft() + QPointF(200, 300) * frame.width() / 1512)), kMail, 4));
    // The list lies on the popover's canvas.
    EXPECT_TRUE(near(colorAt(image, QPointF(4, 660)), kit::Palette::canvas()));
    EXPECT_TRUE(near(colorAt(image, at(*page().sectionsCard(), {4, 40})), kit::Palette::surface()));
    EXPECT_FALSE(page().permissionNotice()->isVisible());

    t.desktop.setScreenRecordingPermission(false);
    manager->refreshScreenRecordingPermission();
    image = picture("main-page-no-permission");
    QWidget& notice = *page().permissionNotice();
    ASSERT_TRUE(notice.isVisible());
    EXPECT_TRUE(near(colorAt(image, at(notice, {20, 30})), kit::Palette::surface()));
    EXPECT_TRUE(near(colorAt(image, at(named(notice, "openSettingsButton"), {8, 12})), Qt::white));

    t.desktop.setScreenRecordingPermission(true);
    manager->refreshScreenRecordingPermission();
    manager->startVirtualDisplay();
    settle(2);
    click(named<PauseShareButton>(card, "pauseShareButton"));
    image = picture("main-page-paused");
    // The pause border inside the card's edge, and the flame capsule of the resume button.
    const QColor edge = colorAt(image, at(card, {0.6, 75}));
    EXPECT_GT(edge.red(), edge.blue() + 40);
    QWidget& pause = named(card, "pauseShareButton");
    EXPECT_TRUE(flameLike(colorAt(image, at(pause, {4, pause.height() / 2.0}))));

    click(named<PauseShareButton>(card, "pauseShareButton"));
    addDisplay(QRectF(1512, 0, 1920, 1080), 1, QColor(0x3b, 0x1f, 0x5c), QStringLiteral("Studio Display"));
    image = picture("main-page-two-displays");
    const QList<DisplayChip*> chips = page().displayStrip()->chips();
    ASSERT_EQ(chips.size(), 2);
    EXPECT_TRUE(near(colorAt(image, at(*chips[0], {6, 12})), Qt::white));
    EXPECT_TRUE(near(colorAt(image, at(*chips[1], {6, 12})), kit::Palette::surface()));
}
