#include "capture/ShareMask.h"

#include "capture/ShareMasks.h"
#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const QUuid kID = QUuid::fromString(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));

ShareMask mask(QRectF rect, quint32 window = 42)
{
    return ShareMask{kID, window, QStringLiteral("com.example.A"), rect};
}

} // namespace

TEST(ShareMaskFormat, RoundTripsReadsMembersByNameInAnyOrderIgnoringExtrasAndRefusesNonFiniteNumbers)
{
    const QList<ShareMask> masks{mask({10.25, 20.5, 100.75, 8}), mask({0, 0, 8, 8}, 4294967295U)};
    const auto data = ShareMask::encodeList(masks);
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->contains(R"("id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427")"));
    EXPECT_TRUE(data->contains(R"("rect":[[10.25,20.5],[100.75,8]])"));
    EXPECT_FALSE(data->contains(' '));
    EXPECT_EQ(ShareMask::decodeList(*data), masks);
    EXPECT_EQ(ShareMask::encodeList({}), QByteArray("[]"));
    // A number that cannot be written makes the whole encode fail, so nothing is stored.
    EXPECT_FALSE(ShareMask::encodeList({mask({std::numeric_limits<double>::quiet_NaN(), 0, 10, 10})}));
    EXPECT_FALSE(ShareMask::encodeList({mask({0, 0, std::numeric_limits<double>::infinity(), 10})}));

    EXPECT_EQ(ShareMask::decodeList(R"([{"rect":[[1.5,2],[30,40]],"extra":true,"bundleID":"com.example.A",
        "windowID":42,"id":"1b4e28ba-2fa1-11d2-883f-0016d3cca427"}])"),
              QList<ShareMask>{mask({1.5, 2, 30, 40})});
}

TEST(ShareMaskFormat, AMalformedElementIsSkippedAndTheOthersKept)
{
    const auto element = [](const char* id, const char* windowID, const char* rect) {
        return QStringLiteral(R"({"id":%1,"windowID":%2,"bundleID":"b"%3})")
            .arg(QString::fromUtf8(id), QString::fromUtf8(windowID), QString::fromUtf8(rect));
    };
    const char* const goodID = R"("1B4E28BA-2FA1-11D2-883F-0016D3CCA427")";
    const char* const goodRect = R"(,"rect":[[0,0],[10,10]])";
    const QString good = element(goodID, "42", goodRect);
    const QString bad[] = {
        element(goodID, "42", ""),
        element(R"("not-a-uuid")", "42", goodRect),
        element(R"("{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}")", "42", goodRect),
        element(goodID, "-1", goodRect),
        element(goodID, "4294967296", goodRect),
        element(goodID, "4.5", goodRect),
        element(goodID, R"("42")", goodRect),
        element(goodID, "42", R"(,"rect":[0,0,10,10])"),
        element(goodID, "42", R"(,"rect":[[0,0],[10,"x"]])"),
        QStringLiteral(R"("just text")"),
    };
    const auto alone = ShareMask::decodeList(QStringLiteral("[%1]").arg(good).toUtf8());
    ASSERT_TRUE(alone && alone->size() == 1);
    for (const QString& one : bad) {
        EXPECT_EQ(ShareMask::decodeList(QStringLiteral("[%1,%2,%1]").arg(good, one).toUtf8()),
                  *alone + *alone)
            << one.toStdString();
    }
    EXPECT_FALSE(ShareMask::decodeList("{\"not\":\"an array\"}"));
    EXPECT_FALSE(ShareMask::decodeList("[truncated"));
}

// Drawing a mask relative to its window, and moving between screen and editor, are walked in the
// editor's tests.
TEST(ShareMaskGeometry, FollowsItsWindowAndClipsToIt)
{
    const ShareMask m = mask({10, 20, 30, 40});
    EXPECT_EQ(m.screenRect({100, 100, 500, 400}), QRectF(110, 120, 30, 40));
    EXPECT_EQ(m.screenRect({150, 90, 500, 400}), QRectF(160, 110, 30, 40));
    EXPECT_EQ(m.screenRect({100, 100, 25, 400}), QRectF(110, 120, 15, 40));
    EXPECT_FALSE(m.screenRect({100, 100, 10, 400}));
    EXPECT_FALSE(m.screenRect({100, 100, 5, 5}));
}

TEST(ShareMaskQueries, WindowFramesAndTheWindowUnderAPointSkipWhatCannotBeMasked)
{
    testing_support::TestDesktop t;
    const auto [pid, visible] = t.launchAppWithWindow(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto addWindow =
        [&t, pid = pid](const std::function<void(platform::sim::SimDesktop::WindowSpec&)>& set) {
            platform::sim::SimDesktop::WindowSpec setup;
            setup.owner = pid;
            set(setup);
            return t.desktop.addWindow(setup);
        };
    // In front of the visible window: a minimised one, a panel, an invisible one and one of ours.
    const quint32 minimised = addWindow([](auto&) {});
    t.desktop.setWindowOnScreen(minimised, false);
    addWindow([](auto& s) { s.layer = 3; });
    addWindow([](auto& s) { s.alpha = 0.0; });
    addWindow([&t](auto& s) { s.owner = t.desktop.ownProcessIdentifier(); });

    EXPECT_TRUE(ShareMasks::windowFrames(t.desktop, {}).isEmpty());
    EXPECT_EQ(t.desktop.descriptionQueryCount(), 0);
    const auto frames = ShareMasks::windowFrames(t.desktop, {visible, minimised, 9999});
    EXPECT_EQ(frames.keys(), QList<quint32>{visible});
    EXPECT_EQ(frames.value(visible), QRectF(100, 100, 800, 600));

    const auto found = ShareMasks::windowUnder(t.desktop, t.desktop, {200, 200});
    ASSERT_TRUE(found);
    EXPECT_EQ(std::pair(found->windowID, found->bundleID),
              std::pair(visible, QStringLiteral("com.example.A")));
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {900, 700}));
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {1000, 700}));
    t.desktop.setWindowListFails(true);
    EXPECT_FALSE(ShareMasks::windowUnder(t.desktop, t.desktop, {200, 200}));
}
