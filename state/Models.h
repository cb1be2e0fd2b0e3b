#pragma once

#include <QImage>
#include <QString>

// One running regular application. Equal when `id` and `name` are equal; the icon and the
// duplicate `bundleID` do not count.
struct AppInfo
{
    QString id;
    QString bundleID;
    QString name;
    QImage icon;

    bool operator==(const AppInfo& other) const { return id == other.id && name == other.name; }
};

// One qualifying on-screen window of an application.
struct WindowInfo
{
    quint32 id = 0;
    QString bundleID;
    QString title;

    bool operator==(const WindowInfo&) const = default;
};

// One display the user may mirror.
struct DisplayInfo
{
    quint32 id = 0;
    QString name;
    bool isMain = false;

    bool operator==(const DisplayInfo&) const = default;
};
