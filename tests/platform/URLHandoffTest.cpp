#include "platform/URLHandoff.h"

#include "platform/sim/VirtualScheduler.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::URLHandoff;

namespace {

const QString kBundleID = QStringLiteral("getveilmox.Veilmox");

QList<QUrl> received(const QSignalSpy& spy)
{
    QList<QUrl> urls;
    for (const auto& arguments : spy) {
        urls += arguments.at(0).value<QList<QUrl>>();
    }
    return urls;
}

// Writes raw bytes to the running instance, as a misbehaving program could.
void sendRaw(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
    }
    socket.disconnectFromServer();
}

} // namespace

TEST(URLHandoff, PicksTheApplicationsURLsFromTheArguments)
{
    platform::sim::VirtualScheduler scheduler;
    URLHandoff handoff(kBundleID, {QStringLiteral("veilmox")}, scheduler, QDir::tempPath());
    const QStringList arguments{QStringLiteral("veilmox://auth?code=abc"),
                                QStringLiteral("VEILMOX://Auth?code=def"),
                                QStringLiteral("https://example.com/"),
                                QStringLiteral("--verbose"),
                                QStringLiteral("veilmox://auth?code=")
                                    + QString(URLHandoff::kMaxURLLength, QLatin1Char('x'))};
    EXPECT_EQ(handoff.urlsFromArguments(arguments),
              (QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=abc")),
                           QUrl(QStringLiteral("VEILMOX://Auth?code=def"))}));
}

TEST(URLHandoff, ALaterInstanceHandsItsURLsToTheRunningOne)
{
    QTemporaryDir dir;
    platform::sim::VirtualScheduler scheduler;
    URLHandoff running(kBundleID, {QStringLiteral("veilmox")}, scheduler, dir.path());
    ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
    QSignalSpy spy(&running, &URLHandoff::urlsReceived);

    URLHandoff later(kBundleID, {QStringLiteral("veilmox")}, scheduler, dir.path());
    const QList<QUrl> urls{QUrl(QStringLiteral("veilmox://auth?code=one")),
                           QUrl(QStringLiteral("veilmox://other"))};
    EXPECT_EQ(later.start(urls), URLHandoff::Role::HandedOff);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(received(spy), urls);
}

TEST(URLHandoff, DropsForeignSchemesAndOversizedHandOffs)
{
    QTemporaryDir dir;
    platform::sim::VirtualScheduler scheduler;
    URLHandoff running(kBundleID, {QStringLiteral("veilmox")}, scheduler, dir.path());
    ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
    QSignalSpy spy(&running, &URLHandoff::urlsReceived);

    sendRaw(running.socketPath(), QByteArray(URLHandoff::kMaxMessageBytes + 10, 'v'));
    sendRaw(running.socketPath(), "file:///etc/passwd\nnot a url at all\r\nveilmox://auth?code=kept\r\n");
    ASSERT_TRUE(spy.wait(5000));
    // Let a late delivery of the oversized message show itself, if there were one.
    QCoreApplication::processEvents();
    EXPECT_EQ(received(spy), QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=kept"))});
}

TEST(URLHandoff, TakesOverFromAnInstanceThatIsGone)
{
    QTemporaryDir dir;
    platform::sim::VirtualScheduler scheduler;
    {
        URLHandoff gone(kBundleID, {QStringLiteral("veilmox")}, scheduler, dir.path());
        ASSERT_EQ(gone.start({}), URLHandoff::Role::Primary);
    }
    URLHandoff next(kBundleID, {QStringLiteral("veilmox")}, scheduler, dir.path());
    EXPECT_EQ(next.start({}), URLHandoff::Role::Primary);
}
