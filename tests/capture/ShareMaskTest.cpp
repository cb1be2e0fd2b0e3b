#include "capture/ShareMask.h"

#include "capture/ShareMasks.h"
#include "tests/support/TestDesktop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

namespace {

const QUuid kID = QUuid::fromString(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));

ShareMask mask(QRectF rect, quint32 window = 42)
{
    return ShareMask{kID, window, QStringLiteral("com.example.A"), rect};
}

} // namespace

TEST(ShareMaskFormat, RoundTripsWithFractionsAndUpperCaseIdentifiers)
{
    const QList<ShareMask> masks{mask({10.25, 20.5, 100.75, 8}), mask({0, 0, 8, 8}, 4294967295U)};
    const auto data = ShareMask::encodeList(masks);
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->contains("\"id\":\"1B4E28BA-2FA1-11D2-883F-0016D3CCA427\""));
    EXPECT_TRUE(data->contains("\"rect\":[[10.25,20.5],[100.75,8]]"));
    EXPECT_FALSE(data->contains(' '));
    EXPECT_EQ(ShareMask::decodeList(*data), masks);
}

TEST(ShareMaskFormat, ReadsMembersByNameInAnyCaseAndIgnoresExtras)
{
    const QByteArray json = R"([{"rect":[[1.5,2],[30,40]],"extra":true,"bundleID":"com.example.A",
        "windowID":42,"id":"1b4e28ba-2fa1-11d2-883f-0016d3cca427"}])";
    const auto masks = ShareMask::decodeList(json);
    ASSERT_TRUE(masks);
    ASSERT_EQ(masks->size(), 1);
    EXPECT_EQ(masks->first(), mask({1.5, 2, 30, 40}));
}

TEST(ShareMaskFormat, OneMalformedElementMakesTheWholeListUnreadable)
{
    const QString good = QStringLiteral(
        R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":42,"bundleID":"b","rect":[[0,0],[10,10]]})");
    const QStringList bad = {
        QStringLiteral(R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":42,"bundleID":"b"})"),
        QStringLiteral(R"({"id":"not-a-uuid","windowID":42,"bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}","windowID":42,"bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":-1,"bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":4294967296,"bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":4.5,"bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":"42","bundleID":"b","rect":[[0,0],[10,10]]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":42,"bundleID":"b","rect":[0,0,10,10]})"),
        QStringLiteral(
            R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":42,"bundleID":"b","rect":[[0,0],[10,"x"]]})"),
        QStringLiteral(R"("just text")"),
    };
    ASSERT_TRUE(ShareMask::decodeList(QStringLiteral("[%1]").arg(good).toUtf8()));
    for (const QString& element : bad) {
        EXPECT_FALSE(ShareMask::decodeList(QStringLiteral("[%1,%2]").arg(good, element).toUtf8()))
            << element.toStdString();
    }
    EXPECT_FALSE(ShareMask::decodeList("{\"not\":\"an array\"}"));
    EXPECT_FALSE(ShareMask::decodeList("[truncated"));
}

TEST(ShareMaskFormat, NonFiniteNumbersMakeTheEncodeFail)
{
    EXPECT_FALSE(ShareMask::encodeList({mask({std::numeric_limits<double>::quiet_NaN(), 0, 10, 10})}));
    EXPECT_FALSE(ShareMask::encodeList({mask({0, 0, std::numeric_limits<double>::infinity(), 10})}));
    EXPECT_EQ(ShareMask::encodeList({}), QByteArray("[]"));
}

TEST(ShareMaskGeometry, FollowsItsWindowAndClipsToIt)
{
    const ShareMask m = mask({10, 20, 30, 40});
    EXPECT_EQ(m.screenRect({100, 100, 500, 400}), QRectF(110, 120, 30, 40));
    EXPECT_EQ(m.screenRect({150, 90, 500, 400}), QRectF(160, 110, 30, 40));
    EXPECT_EQ(m.screenRect({100, 100, 25, 400}), QRectF(110, 120, 15, 40));
    EXPECT_FALSE(m.screenRect({100, 100, 10, 400}));
    EXPECT_FALSE(m.screenRect({100, 100, 5, 5}));
    EXPECT_EQ(m.rect, QRectF(10, 20, 30, 40));
}

TEST(ShareMaskGeometry, AttachingClipsToTheWindowAndMakesItRelative)
{
    const ShareMask m =
        ShareMask::attach(kID, {80, 150, 100, 50}, 7, QStringLiteral("b"), {100, 100, 500, 400});
    EXPECT_EQ(m.rect, QRectF(0, 50, 80, 50));
    EXPECT_EQ(m.windowID, 7U);
    const QRectF display(1512, 0, 1920, 1080);
    EXPECT_EQ(screenToEditor({1600, 10, 5, 5}, display), QRectF(88, 10, 5, 5));
    EXPECT_EQ(editorToScreen(QRectF(88, 10, 5, 5), display), QRectF(1600, 10, 5, 5));
}

TEST(ShareMaskQueries, WindowFramesHoldOnlyExistingOnScreenWindows)
{
    testing_support::TestDesktop t;
    const auto [pid, visible] = t.launchAppWithWindow(QStringLiteral("com.example.A"), QStringLiteral("A"));
    platform::sim::SimDesktop::WindowSpec minimisedSpec;
    minimisedSpec.owner = pid;
    const auto minimised = t.desktop.addWindow(minimisedSpec);
    t.desktop.setWindowOnScreen(minimised, false);
    EXPECT_TRUE(ShareMasks::windowFrames(t.desktop, {}).isEmpty());
    EXPECT_EQ(t.desktop.descriptionQueryCount(), 0);
    const auto frames = ShareMasks::windowFrames(t.desktop, {visible, minimised, 9999});
    EXPECT_EQ(frames.keys(), QList<quint32>{visible});
    EXPECT_EQ(frames.value(visible), QRectF(100, 100, 800, 600));
}

TEST(ShareMaskQueries, WindowUnderSkipsOwnWindowsPanelsAndInvisibleOnes)
{
    testing_support::TestDesktop t;
    const auto [pid, behind] = t.launchAppWithWindow(QStringLiteral("com.example.A"), QStringLiteral("A"));
    platform::sim::SimDesktop::WindowSpec panel;
    panel.owner = pid;
    panel.layer = 3;
    t.desktop.addWindow(panel);
    platform::sim::SimDesktop::WindowSpec ghost;
    ghost.owner = pid;
    ghost.alpha = 0.0;
    t.desktop.addWindow(ghost);
    platform::sim::SimDesktop::WindowSpec own;
    own.owner = t.desktop.ownProcessIdentifier();
    t.desktop.addWindow(own);

    const auto found = ShareMasks::windowUnder(t.desktop, t.desktop, {200, 200});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->windowID, behind);
    EXPECT_EQ(found->bundleID, QStringLiteral("com.example.A"));
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {900, 700}));
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {1000, 700}));

    t.desktop.setWindowListFails(true);
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {200, 200}));
}
