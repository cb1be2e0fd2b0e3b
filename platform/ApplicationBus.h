#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

namespace platform {

// How a desktop launcher hands links to the application over the session bus, as freedesktop
// applications take them: the application owns the bus name of its desktop-file id and serves
// org.freedesktop.Application at the matching object path. Launchers that honour the desktop
// entry's DBusActivatable (GLib's `gio open`, and so `xdg-open` on GNOME-like desktops) start it
// through the bus and pass the link as a method argument, never in a command line. The name also
// keeps the application to one instance per session. Main thread only.
class ApplicationBus final : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        Primary,    // this process owns the name and takes links
        HandedOff,  // another process owns it and was given the link: this one should exit
        Failed,     // another process owns it but did not answer
        Unavailable // no session bus: links come only through the socket hand-off
    };

    ApplicationBus(const QString& desktopFileID,
                   const QStringList& schemes,
                   const QDBusConnection& connection = QDBusConnection::sessionBus(),
                   QObject* parent = nullptr);
    ~ApplicationBus() override;

    // Takes the name, or hands the first of `urls` (none: an activation) to its owner.
    Role start(const QList<QUrl>& urls);

    // "/" and the id with "." as "/" and "-" as "_".
    static QString objectPath(const QString& desktopFileID);

    // A launcher's Open: the first of the URIs that is a link of the application's schemes.
    void open(const QStringList& uris);

signals:
    // The link a launcher opened with the application.
    void urlsReceived(const QList<QUrl>& urls);

private:
    QString m_name;
    QStringList m_schemes;
    QDBusConnection m_connection;
    bool m_registered = false;
};

// The interface on the bus; every call goes to the ApplicationBus it belongs to.
class ApplicationBusAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationBusAdaptor(ApplicationBus* bus);

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void
    ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    ApplicationBus* m_bus;
};

} // namespace platform
