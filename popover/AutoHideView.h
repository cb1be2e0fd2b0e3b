#pragma once

#include "popover/RowBatches.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QVBoxLayout;
class WindowManager;

namespace kit {
class CardBackground;
class FlameToggle;
class TextLabel;
class TextView;
} // namespace kit

// The popover page on which the user switches automatic hiding on or off and picks the apps it
// hides while a meeting app shares the screen: the apps on the list, the apps running now and
// installed apps the hide categories suggest. Everything it shows follows the state object; the
// installed apps are looked up once each time the page comes on screen. Main thread only.
class AutoHideView final : public QWidget
{
    Q_OBJECT

public:
    // One app offered on the page; without an icon a placeholder tile is drawn.
    struct Candidate
    {
        QString id; // the bundle identifier
        QString name;
        QImage icon;
    };

    AutoHideView(WindowManager& windowManager, std::function<void()> onBack, QWidget* parent = nullptr);

    // The suggested apps of every hide category, in category order (Finder included; it is
    // dropped where the apps are offered).
    static QStringList suggestedBundleIDs();

    // Looks up where each suggested or listed app is installed, its name and icon.
    void loadInstalled();
    const QHash<QString, Candidate>& installed() const { return m_installed; }

    // The apps on the list, by name.
    QList<Candidate> listedCandidates() const;
    // The running apps not on the list, in the state object's order.
    QList<Candidate> runningCandidates() const;
    // The installed apps neither running nor on the list, by name.
    QList<Candidate> suggestedCandidates() const;
    // A listed app as shown: the running app, else the installed one, else its identifier.
    Candidate candidate(const QString& bundleID) const;

    // The page's switch: the setting, its stored value, then the hiding brought in line.
    void setAutoHideEnabled(bool enabled);

    // By name without regard to case, then by bundle identifier, so that apps of the same name
    // keep their places from one redraw to the next.
    static void sortByName(QList<Candidate>& candidates);

protected:
    void showEvent(QShowEvent* event) override;

private:
    class AppRow;
    struct Section
    {
        QWidget* widget = nullptr;
        kit::TextLabel* count = nullptr;
        QVBoxLayout* rows = nullptr;
        kit::TextView* emptyText = nullptr;
    };

    // Candidates whose rows are still to be appended to a section, from `next` on.
    struct Pending
    {
        Section* section = nullptr;
        QList<Candidate> apps;
        qsizetype next = 0;
    };

    Section makeSection(const QString& objectName, const QString& title, const QString& emptyText);
    void sync();
    void fillSection(Section& section, const QList<Candidate>& apps, QHash<QString, AppRow*>& kept);
    // A later pass: the rows still missing at the ends of the sections, or a whole pass when rows
    // were left out within one.
    void makeMoreRows();
    bool isOffered(const QString& bundleID) const;

    WindowManager& m_windowManager;
    std::function<void()> m_onBack;
    QHash<QString, Candidate> m_installed;
    kit::CardBackground* m_card = nullptr;
    kit::FlameToggle* m_switch = nullptr;
    Section m_listed;
    Section m_running;
    Section m_suggested;
    QHash<QString, AppRow*> m_rows;
    RowBatches m_batches;
    QList<Pending> m_pending;
    bool m_wholePassDue = false;
};
