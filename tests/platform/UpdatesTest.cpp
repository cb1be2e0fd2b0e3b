// The update framework's answers: on screen for a check the user asked for, silent otherwise.
#include "platform/Updates.h"

#include "platform/Bundle.h"
#include "platform/EventMonitor.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/SimDesktop.h"

#include <QKeyEvent>
#include <QLabel>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// An update feed that answers when the test says so.
class HeldSource final : public UpdateSource
{
public:
    void fetchNewestVersion(std::function<void(const UpdateSourceAnswer&)> answer) override
    {
        pending.push_back(std::move(answer));
    }
    void answerAll(const UpdateSourceAnswer& answer)
    {
        auto answers = std::move(pending);
        pending.clear();
        for (auto& a : answers) {
            a(answer);
        }
    }
    std::vector<std::function<void(const UpdateSourceAnswer&)>> pending;
};

// A desktop with one display, installed as the process's services, and an application whose
// bundle says it is Veilmox 1.9.
struct UpdatesTest : ::testing::Test
{
    UpdatesTest()
    {
        desktop.addDisplay();
        services.screens = &desktop;
        services.appWindows = &desktop;
        services.events = &desktop;
        services.application = &desktop;
        services.bundle = &bundle;
        Services::setCurrent(services);
    }
    ~UpdatesTest() override { Services::setCurrent(Services()); }

    QString text(const UpdateFrameworkStandIn& framework, const char* part) const
    {
        return UpdateFrameworkStandIn::alertText(*framework.alertWindow(), QString::fromLatin1(part));
    }
    bool alertOnScreen(const UpdateFrameworkStandIn& framework) const
    {
        const Window* alert = framework.alertWindow();
        return alert != nullptr && alert->isVisible()
               && desktop.windowAt(alert->frame().center()) == alert->windowNumber();
    }

    sim::SimDesktop desktop;
    Bundle bundle{QVariantMap{{QStringLiteral("CFBundleName"), QStringLiteral("Veilmox")},
                              {kBundleShortVersionStringKey, QStringLiteral("1.9")}}};
    Services services;
};

} // namespace

TEST_F(UpdatesTest, ACheckTheUserAskedForIsAnsweredInAnAlertForEachOutcome)
{
    HeldSource source;
    UpdateFrameworkStandIn framework(&source);
    const auto controller = framework.makeStandardUpdaterController(true);

    struct Case
    {
        UpdateSourceAnswer answer;
        QString heading;
        QString message;
    };
    const Case cases[] = {
        {{QStringLiteral("1.9"), {}},
         QStringLiteral("You're up to date"),
         QStringLiteral("Veilmox 1.9 is the newest version available.")},
        {{QStringLiteral("1.8.7"), {}},
         QStringLiteral("You're up to date"),
         QStringLiteral("Veilmox 1.9 is the newest version available.")},
        {{QStringLiteral("1.10"), {}},
         QStringLiteral("A new version is available"),
         QStringLiteral("Veilmox 1.10 is available; you have 1.9. Updates come with the package: update it "
                        "where you installed it from.")},
        {{std::nullopt, QStringLiteral("<b>host not found</b>")},
         QStringLiteral("Can't check for updates"),
         QStringLiteral("The update source could not be read: <b>host not found</b>")},
    };
    for (const Case& c : cases) {
        controller->checkForUpdates();
        // The call returns before the source answers: nothing waits for the feed.
        ASSERT_EQ(source.pending.size(), 1U);
        source.answerAll(c.answer);
        ASSERT_TRUE(alertOnScreen(framework)) << c.heading.toStdString();
        EXPECT_EQ(text(framework, "updateAlertHeading"), c.heading);
        EXPECT_EQ(text(framework, "updateAlertMessage"), c.message);
        EXPECT_EQ(text(framework, "updateAlertButton"), QStringLiteral("OK"));
        EXPECT_TRUE(framework.alertWindow()->isKeyWindow());
        EXPECT_EQ(framework.reports().back(), c.message);
    }
    // A feed's text is shown as it stands, never read as markup.
    EXPECT_EQ(framework.alertWindow()->contentView()->findChild<QLabel*>("updateAlertMessage")->textFormat(),
              Qt::PlainText);

    // Return dismisses the alert, through the keyboard the desktop passes on.
    desktop.keyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
    EXPECT_FALSE(alertOnScreen(framework));
    EXPECT_EQ(framework.checks(), 4);
}

TEST_F(UpdatesTest, WithoutASourceTheAlertSaysSoAndItsCloseButtonDismissesIt)
{
    UpdateFrameworkStandIn framework;
    const auto controller = framework.makeStandardUpdaterController(true);
    controller->checkForUpdates();
    ASSERT_TRUE(alertOnScreen(framework));
    EXPECT_EQ(text(framework, "updateAlertHeading"), QStringLiteral("Can't check for updates"));
    EXPECT_EQ(text(framework, "updateAlertMessage"), UpdateFrameworkStandIn::kNoUpdateSourceReport);
    EXPECT_EQ(framework.alertWindow()->title(), QStringLiteral("Software Update"));

    // A second check while it shows reuses the one alert.
    Window* first = framework.alertWindow();
    controller->checkForUpdates();
    EXPECT_EQ(framework.alertWindow(), first);
    EXPECT_EQ(framework.checks(), 2);

    // The close button sits at the title bar's left end.
    const QPointF close = first->frame().topLeft() + QPointF(14, 14);
    desktop.mouseDown(close);
    desktop.mouseUp(close);
    EXPECT_FALSE(alertOnScreen(framework));
    EXPECT_EQ(EventMonitor::monitorCount(), 0) << "Return and Escape are no longer the alert's";
    controller->checkForUpdates();
    EXPECT_TRUE(alertOnScreen(framework)) << "a later check shows it again";
}

TEST_F(UpdatesTest, ChecksTheFrameworkMakesItselfStaySilent)
{
    HeldSource source;
    UpdateFrameworkStandIn framework(&source);
    const auto controller = framework.makeStandardUpdaterController(true);
    controller->checkForUpdatesInBackground();
    source.answerAll({QStringLiteral("2.0"), {}});
    EXPECT_EQ(framework.alertWindow(), nullptr);
    EXPECT_EQ(std::pair(framework.checks(), framework.backgroundChecks()), std::pair(1, 1));
    EXPECT_EQ(framework.reports().size(), 1);

    UpdateFrameworkStandIn unconfigured;
    unconfigured.makeStandardUpdaterController(true)->checkForUpdatesInBackground();
    EXPECT_EQ(unconfigured.alertWindow(), nullptr);
    EXPECT_EQ(unconfigured.reports(), QStringList{UpdateFrameworkStandIn::kNoUpdateSourceReport});
}

TEST_F(UpdatesTest, AnAnswerAfterTheFrameworkWentFindsNobody)
{
    HeldSource source;
    {
        UpdateFrameworkStandIn framework(&source);
        framework.makeStandardUpdaterController(true)->checkForUpdates();
    }
    source.answerAll({QStringLiteral("2.0"), {}});
    SUCCEED();
}

TEST(Versions, CompareByTheirNumericParts)
{
    EXPECT_EQ(compareVersions(QStringLiteral("1.10"), QStringLiteral("1.9")), 1);
    EXPECT_EQ(compareVersions(QStringLiteral("1.0"), QStringLiteral("1")), 0);
    EXPECT_EQ(compareVersions(QStringLiteral("1.0.1"), QStringLiteral("1.0")), 1);
    EXPECT_EQ(compareVersions(QStringLiteral("2.0"), QStringLiteral("10.0")), -1);
    EXPECT_EQ(compareVersions(QStringLiteral("1.0b"), QStringLiteral("1.0a")), 1);
}
