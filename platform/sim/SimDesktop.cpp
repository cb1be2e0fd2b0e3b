#include "platform/sim/SimDesktop.h"

#include "platform/Geometry.h"
#include "platform/KeyEvent.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimHotKeySystem.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <tuple>
#include <utility>

namespace platform::sim {

namespace {
const QString kDesktopChanged = QStringLiteral("desktopChanged");

// The whole points a rectangle touches; empty for one out of any display's reach.
QRect touchedPoints(const QRectF& rect)
{
    const QRectF r = rect.normalized();
    if (!(std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right())
          && std::isfinite(r.bottom()))
        || r.isEmpty()) {
        return {};
    }
    const QRectF reach(-1e6, -1e6, 2e6, 2e6);
    return r.intersected(reach).toAlignedRect();
}

// What a simulated window shows that is not its plain colour: its title's row and its patches.
QRegion detailOf(const SimDesktop::WindowSpec& setup, const QRectF& bounds)
{
    QRegion detail;
    if (setup.title && !setup.title->isEmpty()) {
        detail += touchedPoints(QRectF(bounds.x(),
                                       bounds.y() + SimCompositor::kTitleInset,
                                       bounds.width(),
                                       SimCompositor::kTitleHeight)
                                    .intersected(bounds));
    }
    for (const auto& patch : setup.patches) {
        detail += touchedPoints(patch.rect.translated(bounds.topLeft()).intersected(bounds));
    }
    return detail;
}

} // namespace

struct SimDesktop::State
{
    struct Display
    {
        quint32 id = 0;
        DisplaySpec setup;
        bool isVirtual = false;
    };
    struct App
    {
        AppSpec setup;
        pid_type pid = 0;
        bool hidden = false;
        bool terminated = false;
    };
    struct Window
    {
        WindowSpec setup;
        QVariantMap overrides;
        // The description as last given out; dropped whenever something in it may change.
        mutable std::optional<WindowDescription> description;
        // How often this application's window was drawn again, and where, for the last times.
        quint64 contentVersion = 0;
        std::deque<QRegion> repaints; // of versions contentVersion - size() + 1 .. contentVersion
    };
    static constexpr std::size_t kKeptRepaints = 16;

    std::vector<Display> displays;
    std::vector<std::shared_ptr<App>> apps;          // launch order
    QHash<pid_type, std::shared_ptr<App>> appsByPid; // the first launched of each process
    std::map<quint32, Window> windows;
    std::vector<quint32> order; // front to back within a level
    // Front to back across levels, as last worked out; dropped when the order or a level changes.
    mutable std::optional<QList<quint32>> sortedOrder;
    // The same with each window's setup and whether it shows, and the window list as last given
    // out (with its options), as of one generation: read at every picture and every capture.
    mutable std::optional<std::pair<quint64, std::vector<OrderedWindow>>> ordered;
    mutable std::optional<std::tuple<quint64, std::uint32_t, QList<WindowDescription>>> windowList;
    pid_type ownPid = 0;
    pid_type frontmost = 0;
    pid_type nextPid = 400;
    quint32 nextDisplayID = 1;
    quint32 nextWindowNumber = 100;
    // Counted up by every change of what the window server lists or draws, and apart, by every
    // change of the content of this application's windows.
    quint64 generation = 0;
    quint64 contentGeneration = 0;
    // Told of every change counted in either number.
    NotificationCenter changes;
    // What the last changes touched, oldest first; none: everything. A window's own change
    // (moved, redrawn, …) names the window, its owner and whether captures showed it then, so
    // that a picture which leaves the window out is not drawn again for it.
    struct Damage
    {
        quint64 serial = 0;
        std::optional<QRegion> region;
        quint32 window = 0; // 0: not one window's change
        pid_type owner = 0;
        bool captured = true;
        // A window that came in front of others or went behind them changed the picture only
        // where it overlaps each of them, and only in a picture that shows both.
        struct Crossing
        {
            quint32 window = 0;
            pid_type owner = 0;
            bool captured = true;
            QRegion region;
        };
        std::vector<Crossing> crossings; // none: `region` holds the whole change
    };
    static constexpr std::size_t kKeptDamage = 256;
    std::deque<Damage> damage;
    quint64 damageSerial = 0;
    // The pictures last handed out by screenshots: what changed in each since the one before.
    struct Picture
    {
        qint64 key = 0;
        qint64 previous = 0;
        std::optional<QRegion> pixels;
    };
    static constexpr std::size_t kKeptPictures = 16;
    std::deque<Picture> pictures;
    // The picture a window showing one was last drawn with, to tell what its content changed.
    struct ShownPicture
    {
        qint64 key = 0;
        QSize size;
        QRectF rect;
        QColor background;
        QSize viewSize;
        QRectF bounds;
    };
    std::map<quint32, ShownPicture> shownPictures;
    // The stacking when windows were first ordered in front after a picture was last drawn, and
    // the windows ordered since: a window server composes the stacking it has when it next
    // draws, so order changes that end where they began draw nothing.
    std::optional<QList<quint32>> stackingDrawn;
    QSet<quint32> restacked;

    void damaged(std::optional<QRegion> region) { record(Damage{0, std::move(region), 0, 0, true, {}}); }

    // A change of one window alone. `captured`: captures see the change even while the window's
    // sharing type keeps it out of them (a change of that type).
    void damagedBy(quint32 number, QRegion region, bool captured = false)
    {
        if (const auto it = windows.find(number); it != windows.end()) {
            const WindowSpec& setup = it->second.setup;
            captured = captured || setup.sharingState != static_cast<qint64>(WindowSharingType::None);
            record(Damage{0, std::move(region), number, setup.owner, captured, {}});
        }
    }

    void damagedWindow(quint32 number, bool captured = false)
    {
        if (const auto it = windows.find(number); it != windows.end()) {
            damagedBy(number, QRegion(touchedPoints(it->second.setup.bounds)), captured);
        }
    }

    void record(Damage change)
    {
        if (change.region && change.region->isEmpty()) {
            return;
        }
        change.serial = ++damageSerial;
        damage.push_back(std::move(change));
        if (damage.size() > kKeptDamage) {
            damage.pop_front();
        }
    }

    // Something the window server lists or draws changed (and is in place).
    void changed()
    {
        ++generation;
        changes.post(Notification{kDesktopChanged, {}, nullptr});
    }

    std::shared_ptr<App> app(pid_type pid) const { return appsByPid.value(pid); }

    void addApp(const std::shared_ptr<App>& record)
    {
        apps.push_back(record);
        if (!appsByPid.contains(record->pid)) {
            appsByPid.insert(record->pid, record);
        }
    }

    // The window's description must be made again.
    void touch(quint32 number)
    {
        if (const auto it = windows.find(number); it != windows.end()) {
            it->second.description.reset();
        }
        changed();
    }

    // Windows came, went or changed places.
    void reorder()
    {
        sortedOrder.reset();
        changed();
    }

    // An app was hidden or shown: its windows came on or went off screen.
    void setHidden(App& record, bool hidden)
    {
        if (record.hidden == hidden) {
            return;
        }
        record.hidden = hidden;
        for (auto& [number, window] : windows) {
            if (window.setup.owner == record.pid) {
                window.description.reset();
                damagedWindow(number);
            }
        }
        changed();
    }
};

namespace {

bool isCaptured(const SimDesktop::WindowSpec& setup)
{
    return setup.sharingState != static_cast<qint64>(WindowSharingType::None);
}

// What the windows ordered in front since the last picture changed in the next one: each where it
// overlaps a window on screen that it now lies on the other side of than it did then. A window
// that came, went, moved or changed level is drawn again for that change itself.
std::vector<SimDesktop::State::Damage> restackings(const SimDesktop& desktop, const SimDesktop::State& state)
{
    std::vector<SimDesktop::State::Damage> changes;
    if (!state.stackingDrawn) {
        return changes;
    }
    QHash<quint32, qsizetype> placeThen;
    for (qsizetype i = 0; i < state.stackingDrawn->size(); ++i) {
        placeThen.insert(state.stackingDrawn->at(i), i);
    }
    const std::vector<SimDesktop::OrderedWindow>& now = desktop.orderedWindows();
    for (std::size_t at = 0; at < now.size(); ++at) {
        const SimDesktop::OrderedWindow& moved = now[at];
        const auto movedThen = placeThen.constFind(moved.number);
        if (!state.restacked.contains(moved.number) || movedThen == placeThen.cend() || !moved.onScreen) {
            continue;
        }
        SimDesktop::State::Damage change{
            0, QRegion(), moved.number, moved.setup->owner, isCaptured(*moved.setup), {}};
        for (std::size_t i = 0; i < now.size(); ++i) {
            const SimDesktop::OrderedWindow& other = now[i];
            const auto otherThen = placeThen.constFind(other.number);
            if (i == at || otherThen == placeThen.cend() || !other.onScreen
                || (*otherThen < *movedThen) == (i < at)) {
                continue;
            }
            const QRegion overlap(touchedPoints(moved.setup->bounds.intersected(other.setup->bounds)));
            if (!overlap.isEmpty()) {
                change.crossings.push_back(
                    {other.number, other.setup->owner, isCaptured(*other.setup), overlap});
                *change.region += overlap;
            }
        }
        if (!change.crossings.empty()) {
            changes.push_back(std::move(change));
        }
    }
    return changes;
}

class SimRunningApplication final : public RunningApplication
{
public:
    SimRunningApplication(const std::shared_ptr<SimDesktop::State>& state, pid_type pid, SimDesktop* desktop)
        : m_state(state)
        , m_pid(pid)
        , m_desktop(desktop)
    {
        if (const auto a = state->app(pid)) {
            m_setup = a->setup;
        }
    }

    pid_type processIdentifier() const override { return m_pid; }
    // Identity stays readable after the process ended, as the workspace's handles do.
    std::optional<QString> bundleIdentifier() const override { return m_setup.bundleID; }
    std::optional<QString> localizedName() const override { return m_setup.name; }
    QImage icon() const override { return m_setup.icon; }
    ActivationPolicy activationPolicy() const override { return m_setup.policy; }
    bool isHidden() const override
    {
        const auto a = record();
        return a && a->hidden;
    }
    bool isActive() const override
    {
        const auto s = m_state.lock();
        return s && s->frontmost == m_pid && !isTerminated();
    }
    bool isTerminated() const override
    {
        const auto a = record();
        return !a || a->terminated;
    }
    bool hide() override
    {
        const auto a = record();
        const auto s = m_state.lock();
        if (!a || !s || a->terminated) {
            return false;
        }
        s->setHidden(*a, true);
        return true;
    }
    bool unhide() override
    {
        const auto a = record();
        const auto s = m_state.lock();
        if (!a || !s || a->terminated) {
            return false;
        }
        s->setHidden(*a, false);
        return true;
    }
    using RunningApplication::activate;
    bool activate(ActivationOptions options) override
    {
        const auto s = m_state.lock();
        return s && m_desktop->activateApp(m_pid, options);
    }

private:
    std::shared_ptr<SimDesktop::State::App> record() const
    {
        const auto s = m_state.lock();
        return s ? s->app(m_pid) : nullptr;
    }

    std::weak_ptr<SimDesktop::State> m_state;
    pid_type m_pid;
    SimDesktop::AppSpec m_setup;
    SimDesktop* m_desktop;
};

} // namespace

SimDesktop::SimDesktop(const QString& ownBundleID)
    : m_state(std::make_shared<State>())
{
    // A fresh system opens web pages in Safari and its settings URLs in System Settings.
    setDefaultApplication(QStringLiteral("https"), QStringLiteral("com.apple.Safari"));
    setDefaultApplication(QStringLiteral("http"), QStringLiteral("com.apple.Safari"));
    setDefaultApplication(QStringLiteral("x-apple.systempreferences"),
                          QStringLiteral("com.apple.systempreferences"));

    AppSpec own;
    own.bundleID = ownBundleID;
    own.name = QStringLiteral("Veilmox");
    own.policy = ActivationPolicy::Accessory;
    auto record = std::make_shared<State::App>();
    record->setup = own;
    record->pid = m_state->nextPid++;
    m_state->ownPid = record->pid;
    m_state->addApp(record);
}

SimDesktop::~SimDesktop() = default;

pid_type SimDesktop::ownProcessIdentifier() const
{
    return m_state->ownPid;
}

quint32 SimDesktop::addDisplay()
{
    return addDisplay(DisplaySpec{});
}

quint32 SimDesktop::addDisplay(const DisplaySpec& setup)
{
    const quint32 id = setup.id.value_or(m_state->nextDisplayID);
    m_state->nextDisplayID = std::max(m_state->nextDisplayID, id + 1);
    m_state->displays.push_back({id, setup});
    if (m_mainDisplay == 0) {
        m_mainDisplay = id;
    }
    postScreenChange();
    return id;
}

quint32 SimDesktop::addVirtualDisplay(const DisplaySpec& setup)
{
    const quint32 id = setup.id.value_or(m_state->nextDisplayID);
    DisplaySpec numbered = setup;
    numbered.id = id;
    m_state->nextDisplayID = std::max(m_state->nextDisplayID, id + 1);
    m_state->displays.push_back({id, numbered, true});
    if (m_mainDisplay == 0) {
        m_mainDisplay = id;
    }
    postScreenChange();
    return id;
}

bool SimDesktop::isVirtualDisplay(quint32 displayID) const
{
    return std::any_of(m_state->displays.cbegin(),
                       m_state->displays.cend(),
                       [displayID](const State::Display& d) { return d.id == displayID && d.isVirtual; });
}

void SimDesktop::removeDisplay(quint32 displayID)
{
    std::erase_if(m_state->displays, [displayID](const State::Display& d) { return d.id == displayID; });
    if (m_mainDisplay == displayID) {
        m_mainDisplay = m_state->displays.empty() ? 0 : m_state->displays.front().id;
    }
    postScreenChange();
}

quint32 SimDesktop::allocateDisplayID()
{
    return m_state->nextDisplayID++;
}

QList<quint32> SimDesktop::displayIDs() const
{
    QList<quint32> ids;
    for (const auto& display : m_state->displays) {
        ids.append(display.id);
    }
    return ids;
}

std::optional<SimDesktop::DisplaySpec> SimDesktop::display(quint32 displayID) const
{
    for (const auto& display : m_state->displays) {
        if (display.id == displayID) {
            return display.setup;
        }
    }
    return std::nullopt;
}

void SimDesktop::setMainDisplay(quint32 displayID)
{
    m_mainDisplay = displayID;
    postScreenChange();
}

pid_type SimDesktop::launchApp(const AppSpec& setup)
{
    auto record = std::make_shared<State::App>();
    record->setup = setup;
    record->pid = setup.pid.value_or(m_state->nextPid);
    m_state->nextPid = std::max(m_state->nextPid, record->pid + 1);
    m_state->addApp(record);
    postWorkspace(kWorkspaceDidLaunchApplication, record->pid);
    return record->pid;
}

pid_type SimDesktop::launchApp(const QString& bundleID, const QString& name)
{
    AppSpec setup;
    setup.bundleID = bundleID;
    setup.name = name;
    return launchApp(setup);
}

quint32 SimDesktop::addWindow(pid_type owner, const QString& title, const QRectF& bounds)
{
    WindowSpec setup;
    setup.owner = owner;
    setup.title = title;
    setup.bounds = bounds;
    return addWindow(setup);
}

void SimDesktop::terminateApp(pid_type pid)
{
    const auto record = m_state->app(pid);
    if (!record || record->terminated) {
        return;
    }
    std::vector<quint32> owned;
    for (const auto& [number, window] : m_state->windows) {
        if (window.setup.owner == pid) {
            owned.push_back(number);
        }
    }
    for (const quint32 number : owned) {
        removeWindow(number);
    }
    record->terminated = true;
    if (m_state->frontmost == pid) {
        m_state->frontmost = 0;
    }
    // The handle in the notification still answers for the ended process.
    postWorkspace(kWorkspaceDidTerminateApplication, pid);
    std::erase_if(m_state->apps, [pid](const auto& a) { return a->pid == pid; });
    m_state->appsByPid.remove(pid);
}

bool SimDesktop::activateApp(pid_type pid, RunningApplication::ActivationOptions options)
{
    const auto record = m_state->app(pid);
    // A background-only app is a kind that cannot be activated: the call says no.
    if (!record || record->terminated || record->setup.policy == ActivationPolicy::Prohibited) {
        return false;
    }
    const pid_type previous = m_state->frontmost;
    m_state->frontmost = pid;
    m_state->setHidden(*record, false);
    if (previous != pid) {
        // Ordered before the notifications go out, so that those told see the app's windows in
        // front, as the window server has them by the time an activation is announced.
        bringWindowsForward(pid, options.allWindows);
    }
    if (previous != 0 && previous != pid && m_state->app(previous)) {
        postWorkspace(kWorkspaceDidDeactivateApplication, previous);
    }
    postWorkspace(kWorkspaceDidActivateApplication, pid);
    return true;
}

void SimDesktop::bringWindowsForward(pid_type pid, bool allWindows)
{
    // The app's windows on screen, front to back; each goes to the front of its own level.
    std::vector<quint32> owned;
    for (const OrderedWindow& w : orderedWindows()) {
        if (w.onScreen && w.setup->owner == pid) {
            owned.push_back(w.number);
            if (!allWindows) {
                break;
            }
        }
    }
    // Back to front, so that they keep their order among themselves.
    std::reverse(owned.begin(), owned.end());
    for (const quint32 number : owned) {
        orderFront(number);
    }
}

quint32 SimDesktop::addWindow(const WindowSpec& setup)
{
    quint32 number = setup.number.value_or(0);
    if (number == 0) {
        while (m_state->windows.contains(m_state->nextWindowNumber)) {
            ++m_state->nextWindowNumber;
        }
        number = m_state->nextWindowNumber++;
    } else {
        removeWindow(number);
    }
    m_state->windows[number] = State::Window{setup, {}, std::nullopt, 0, {}};
    m_state->order.insert(m_state->order.begin(), number);
    m_state->damagedWindow(number);
    m_state->reorder();
    return number;
}

void SimDesktop::removeWindow(quint32 number)
{
    m_state->damagedWindow(number);
    m_state->shownPictures.erase(number);
    m_state->windows.erase(number);
    std::erase(m_state->order, number);
    m_state->reorder();
    if (number == m_keyWindow) {
        passKeyOn();
    }
}

void SimDesktop::setWindowBounds(quint32 number, const QRectF& bounds)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        WindowSpec& setup = it->second.setup;
        const QRectF old = setup.bounds;
        setup.bounds = bounds;
        QRegion touched = QRegion(touchedPoints(old)) + touchedPoints(bounds);
        if (setup.content.isNull()) {
            // A window of one colour shows the same where it covers a point before and after;
            // only its edges, its title and its patches move.
            touched -=
                QRegion(SimCompositor::innerPoints(old)).intersected(SimCompositor::innerPoints(bounds));
            touched += detailOf(setup, old) + detailOf(setup, bounds);
        }
        m_state->damagedBy(number, touched);
        m_state->touch(number);
    }
}

void SimDesktop::setWindowOnScreen(quint32 number, bool onScreen)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        if (it->second.setup.onScreen != onScreen) {
            m_state->damagedWindow(number);
            it->second.setup.onScreen = onScreen;
            m_state->touch(number);
        }
    }
    if (!onScreen && number == m_keyWindow) {
        passKeyOn();
    }
}

void SimDesktop::setWindowTitle(quint32 number, const std::optional<QString>& title)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        WindowSpec& setup = it->second.setup;
        m_state->damagedBy(number, detailOf(setup, setup.bounds));
        setup.title = title;
        m_state->damagedBy(number, detailOf(setup, setup.bounds));
        m_state->touch(number);
    }
}

void SimDesktop::orderFront(quint32 number)
{
    const auto it = m_state->windows.find(number);
    if (it == m_state->windows.end()) {
        return;
    }
    // A window already in front of the others of its level stays where it is in the stacking:
    // nothing is drawn again for it.
    const qint64 level = it->second.setup.layer;
    const auto first = std::find_if(m_state->order.cbegin(), m_state->order.cend(), [this, level](quint32 n) {
        return m_state->windows.at(n).setup.layer == level;
    });
    const bool inFront = first != m_state->order.cend() && *first == number;
    if (!inFront && !m_state->stackingDrawn) {
        m_state->stackingDrawn = windowOrder();
    }
    std::erase(m_state->order, number);
    m_state->order.insert(m_state->order.begin(), number);
    if (inFront) {
        return;
    }
    // Drawn again where the next picture's stacking differs from the last one's.
    m_state->restacked.insert(number);
    m_state->reorder();
}

void SimDesktop::overrideDescription(quint32 number, const QVariantMap& entries)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        for (auto e = entries.cbegin(); e != entries.cend(); ++e) {
            it->second.overrides.insert(e.key(), e.value());
        }
        m_state->damagedWindow(number);
        m_state->touch(number);
    }
}

std::optional<SimDesktop::WindowSpec> SimDesktop::window(quint32 number) const
{
    const auto it = m_state->windows.find(number);
    if (it == m_state->windows.end()) {
        return std::nullopt;
    }
    return it->second.setup;
}

QList<quint32> SimDesktop::windowOrder() const
{
    if (!m_state->sortedOrder) {
        QList<quint32> order(m_state->order.begin(), m_state->order.end());
        std::stable_sort(order.begin(), order.end(), [this](quint32 a, quint32 b) {
            return m_state->windows.at(a).setup.layer > m_state->windows.at(b).setup.layer;
        });
        m_state->sortedOrder = std::move(order);
    }
    return *m_state->sortedOrder;
}

QList<RunningApplicationRef> SimDesktop::runningApplications() const
{
    QList<RunningApplicationRef> result;
    for (const auto& app : m_state->apps) {
        if (!app->terminated) {
            result.append(std::make_shared<SimRunningApplication>(
                m_state, app->pid, const_cast<SimDesktop*>(this))); // NOLINT: handles act on the desktop
        }
    }
    return result;
}

RunningApplicationRef SimDesktop::frontmostApplication() const
{
    return runningApplication(m_state->frontmost);
}

RunningApplicationRef SimDesktop::runningApplication(pid_type processIdentifier) const
{
    const auto app = m_state->app(processIdentifier);
    if (!app || app->terminated) {
        return nullptr;
    }
    return std::make_shared<SimRunningApplication>(
        m_state, processIdentifier, const_cast<SimDesktop*>(this)); // NOLINT: handles act on the desktop
}

bool SimDesktop::openURL(const QUrl& url)
{
    // A system that answers later took the URL for now; its answer may come after this returns.
    auto answer = std::make_shared<std::optional<bool>>();
    openURLWithCompletion(url, [answer](bool opened) { *answer = opened; });
    return answer->value_or(true);
}

void SimDesktop::openURLWithCompletion(const QUrl& url, std::function<void(bool opened)> done)
{
    if (!url.isValid() || !bundleIdentifierOfApplicationToOpen(url)) {
        done(false);
        return;
    }
    m_openedURLs.append(url);
    if (!m_urlOpened) {
        done(true);
        return;
    }
    m_urlOpened(url, std::move(done));
}

void SimDesktop::setURLOpenedHandler(std::function<bool(const QUrl&)> handler)
{
    if (!handler) {
        m_urlOpened = nullptr;
        return;
    }
    m_urlOpened = [handler = std::move(handler)](const QUrl& url, const std::function<void(bool)>& done) {
        done(handler(url));
    };
}

std::optional<QString> SimDesktop::bundleIdentifierOfApplicationToOpen(const QUrl& url) const
{
    const auto it = m_defaultApplications.constFind(url.scheme().toLower());
    if (it == m_defaultApplications.cend()) {
        return std::nullopt;
    }
    return it.value();
}

void SimDesktop::installApp(const InstalledAppSpec& setup)
{
    uninstallApp(setup.bundleID);
    m_installedApps.append(setup);
}

void SimDesktop::uninstallApp(const QString& bundleID)
{
    m_installedApps.removeIf([&bundleID](const InstalledAppSpec& app) { return app.bundleID == bundleID; });
}

std::optional<QUrl> SimDesktop::urlForApplicationWithBundleIdentifier(const QString& bundleIdentifier) const
{
    ++m_applicationLookups;
    for (const InstalledAppSpec& app : m_installedApps) {
        if (app.bundleID == bundleIdentifier) {
            return QUrl::fromLocalFile(app.path);
        }
    }
    return std::nullopt;
}

QImage SimDesktop::iconForFile(const QString& path) const
{
    ++m_iconLookups;
    for (const InstalledAppSpec& app : m_installedApps) {
        if (app.path == path) {
            return app.icon;
        }
    }
    return {};
}

QString SimDesktop::displayNameAtPath(const QString& path) const
{
    ++m_displayNameLookups;
    for (const InstalledAppSpec& app : m_installedApps) {
        if (app.path == path) {
            return app.displayName;
        }
    }
    return QFileInfo(path).fileName();
}

void SimDesktop::beep()
{
    ++m_beeps;
    QApplication::beep();
}

void SimDesktop::setDefaultApplication(const QString& scheme, const QString& bundleID)
{
    m_defaultApplications.insert(scheme.toLower(), bundleID);
}

QList<Screen> SimDesktop::screens() const
{
    QList<Screen> result;
    for (const auto& display : m_state->displays) {
        Screen screen;
        if (display.setup.hasScreenNumber) {
            screen.deviceDescription.insert(kScreenNumberKey, static_cast<qint64>(display.id));
        }
        screen.localizedName = display.setup.name;
        screen.frame = display.setup.frame;
        // Every display has its own menu bar; the Dock is not reserved.
        screen.visibleFrame = display.setup.frame.adjusted(0, m_menuBarHeight, 0, 0);
        screen.backingScaleFactor = display.setup.backingScale;
        result.append(screen);
    }
    return result;
}

QRectF SimDesktop::displayBounds(std::uint32_t displayID) const
{
    for (const auto& display : m_state->displays) {
        if (display.id == displayID) {
            return display.setup.frame;
        }
    }
    return {};
}

const std::vector<SimDesktop::OrderedWindow>& SimDesktop::orderedWindows() const
{
    auto& ordered = m_state->ordered;
    if (!ordered || ordered->first != m_state->generation) {
        std::vector<OrderedWindow> windows;
        for (const quint32 number : windowOrder()) {
            windows.push_back({number, &m_state->windows.at(number).setup, isWindowOnScreen(number)});
        }
        ordered.emplace(m_state->generation, std::move(windows));
    }
    return ordered->second;
}

bool SimDesktop::isWindowOnScreen(quint32 number) const
{
    const auto it = m_state->windows.find(number);
    if (it == m_state->windows.end() || !it->second.setup.onScreen) {
        return false;
    }
    const auto owner = m_state->app(it->second.setup.owner);
    return !(owner && owner->hidden);
}

WindowDescription SimDesktop::describe(quint32 number) const
{
    const auto& window = m_state->windows.at(number);
    if (!window.description) {
        window.description = makeDescription(number);
    }
    return *window.description;
}

WindowDescription SimDesktop::makeDescription(quint32 number) const
{
    const auto& window = m_state->windows.at(number);
    const auto& setup = window.setup;
    WindowDescription d;
    d.insert(kCGWindowNumber, static_cast<qint64>(number));
    d.insert(kCGWindowOwnerPID, static_cast<qint64>(setup.owner));
    if (const auto owner = m_state->app(setup.owner); owner && owner->setup.name) {
        d.insert(kCGWindowOwnerName, *owner->setup.name);
    }
    if (setup.title) {
        d.insert(kCGWindowName, *setup.title);
    }
    d.insert(kCGWindowLayer, setup.layer);
    if (setup.alpha) {
        d.insert(kCGWindowAlpha, *setup.alpha);
    }
    d.insert(kCGWindowBounds, dictionaryFromRect(setup.bounds));
    if (isWindowOnScreen(number)) {
        d.insert(kCGWindowIsOnscreen, true);
    }
    d.insert(kCGWindowSharingState, setup.sharingState);
    for (auto it = window.overrides.cbegin(); it != window.overrides.cend(); ++it) {
        if (it.value().isValid()) {
            d.insert(it.key(), it.value());
        } else {
            d.remove(it.key());
        }
    }
    return d;
}

std::optional<QList<WindowDescription>> SimDesktop::copyWindowInfo(std::uint32_t options,
                                                                   std::uint32_t /*relativeToWindow*/) const
{
    ++m_windowListQueries;
    if (m_windowListFails) {
        return std::nullopt;
    }
    auto& kept = m_state->windowList;
    if (kept && std::get<0>(*kept) == m_state->generation && std::get<1>(*kept) == options) {
        return std::get<2>(*kept);
    }
    QList<WindowDescription> result;
    for (const OrderedWindow& window : orderedWindows()) {
        if ((options & kCGWindowListOptionOnScreenOnly) != 0 && !window.onScreen) {
            continue;
        }
        // Desktop elements (wallpaper, desktop icons) sit on negative layers.
        if ((options & kCGWindowListExcludeDesktopElements) != 0 && window.setup->layer < 0) {
            continue;
        }
        result.append(describe(window.number));
    }
    kept.emplace(m_state->generation, options, result);
    return result;
}

std::optional<QList<WindowDescription>>
SimDesktop::createDescriptionFromArray(const QList<std::uint32_t>& windowIDs) const
{
    ++m_descriptionQueries;
    if (m_descriptionQueryFails) {
        return std::nullopt;
    }
    QList<WindowDescription> result;
    for (const std::uint32_t number : windowIDs) {
        if (m_state->windows.contains(number)) {
            result.append(describe(number));
        }
    }
    return result;
}

quint32 SimDesktop::registerWindow(QWidget* content, const QRectF& frame)
{
    WindowSpec setup;
    setup.owner = m_state->ownPid;
    setup.title = QString();
    setup.bounds = frame;
    setup.onScreen = false;
    setup.content = content;
    return addWindow(setup);
}

void SimDesktop::setWindowLevel(quint32 number, qint64 level)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        it->second.setup.layer = level;
        m_state->damagedWindow(number);
        m_state->touch(number);
        m_state->reorder();
    }
}

void SimDesktop::setWindowSharingType(quint32 number, WindowSharingType type)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        it->second.setup.sharingState = static_cast<qint64>(type);
        // Captures gain or lose the window: they are drawn again whichever way it went.
        m_state->damagedWindow(number, true);
        m_state->touch(number);
    }
}

void SimDesktop::setWindowIgnoresMouseEvents(quint32 number, bool ignores)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        it->second.setup.ignoresMouseEvents = ignores;
    }
}

void SimDesktop::orderWindowFront(quint32 number)
{
    setWindowOnScreen(number, true);
    orderFront(number);
}

void SimDesktop::windowContentChanged(quint32 number, const QRegion& dirty)
{
    if (const auto it = m_state->windows.find(number);
        it != m_state->windows.end() && !it->second.setup.content.isNull() && !dirty.isEmpty()) {
        State::Window& window = it->second;
        ++window.contentVersion;
        window.repaints.push_back(dirty);
        if (window.repaints.size() > State::kKeptRepaints) {
            window.repaints.pop_front();
        }
        ++m_state->contentGeneration;
        m_state->damagedBy(number, contentDamage(number, dirty));
        m_state->changes.post(Notification{kDesktopChanged, {}, nullptr});
    }
}

std::optional<QRegion> SimDesktop::windowRepaintSince(quint32 number, quint64 version) const
{
    const auto it = m_state->windows.find(number);
    if (it == m_state->windows.end() || version > it->second.contentVersion) {
        return std::nullopt;
    }
    const State::Window& window = it->second;
    const quint64 missed = window.contentVersion - version;
    if (missed > window.repaints.size()) {
        return std::nullopt;
    }
    QRegion region;
    for (auto r = window.repaints.cend() - static_cast<std::ptrdiff_t>(missed); r != window.repaints.cend();
         ++r) {
        region += *r;
    }
    return region;
}

QRegion SimDesktop::contentDamage(quint32 number, const QRegion& dirty)
{
    auto& window = m_state->windows.at(number);
    const QRectF& bounds = window.setup.bounds;
    const QRegion whole(touchedPoints(bounds));
    QWidget* root = window.setup.content.data();
    const LayerContentsView* layer = SimCompositor::layerContentsView(root);
    if (layer == nullptr) {
        m_state->shownPictures.erase(number);
        if (root->width() <= 0 || root->height() <= 0) {
            return whole;
        }
        // From the window's points to the screen's, where the window is drawn at another size.
        const double sx = bounds.width() / root->width();
        const double sy = bounds.height() / root->height();
        QRegion touched;
        for (const QRect& r : dirty) {
            touched += touchedPoints(
                QRectF(bounds.x() + r.x() * sx, bounds.y() + r.y() * sy, r.width() * sx, r.height() * sy));
        }
        return touched.intersected(whole.boundingRect());
    }
    // A window that shows a picture changed where its picture did, when the picture is the next
    // of a series whose changes are known and nothing else about it changed.
    const LayerContentsView::Contents contents = layer->layerContents();
    const State::ShownPicture now{contents.image.cacheKey(),
                                  contents.image.size(),
                                  contents.rect,
                                  contents.background,
                                  root->size(),
                                  bounds};
    // What the view says changed from an earlier picture of its own, as a client reports damage
    // with a new buffer.
    if (contents.changedFrom != 0 && contents.changed && !contents.image.isNull()) {
        notePictureDamage(now.key, contents.changedFrom, contents.changed);
    }
    const auto before = m_state->shownPictures.find(number);
    std::optional<QRegion> changed;
    if (before != m_state->shownPictures.end() && !contents.image.isNull() && before->second.size == now.size
        && before->second.rect == now.rect && before->second.background == now.background
        && before->second.viewSize == now.viewSize && before->second.bounds == now.bounds
        && !now.rect.isEmpty()) {
        changed = pictureDamage(before->second.key, now.key);
    }
    m_state->shownPictures[number] = now;
    if (!changed) {
        return whole;
    }
    // From the picture's pixels to the screen's points, a point wider for the smoothing.
    const double sx = bounds.width() / root->width() * now.rect.width() / now.size.width();
    const double sy = bounds.height() / root->height() * now.rect.height() / now.size.height();
    const QPointF origin(bounds.x() + now.rect.x() * bounds.width() / root->width(),
                         bounds.y() + now.rect.y() * bounds.height() / root->height());
    QRegion touched;
    for (const QRect& r : *changed) {
        touched +=
            touchedPoints(
                QRectF(origin.x() + r.x() * sx, origin.y() + r.y() * sy, r.width() * sx, r.height() * sy)
                    .adjusted(-1, -1, 1, 1))
                .intersected(whole.boundingRect());
    }
    return touched;
}

quint64 SimDesktop::damageSerial() const
{
    // Asked for when a picture is drawn: the stacking it shows is the one to draw changes from.
    for (State::Damage& change : restackings(*this, *m_state)) {
        m_state->record(std::move(change));
    }
    m_state->stackingDrawn.reset();
    m_state->restacked.clear();
    return m_state->damageSerial;
}

std::optional<QRegion> SimDesktop::damageSince(quint64 serial) const
{
    return damageSince(serial, DamageScope());
}

std::optional<QRegion> SimDesktop::damageSince(quint64 serial, const DamageScope& scope) const
{
    const auto leftOut = [&scope](quint32 window, pid_type owner, bool captured) {
        return window != 0 && ((scope.captured && !captured) || (scope.shows && !scope.shows(window, owner)));
    };
    QRegion region;
    // False when the change touched everything.
    const auto add = [&](const State::Damage& change) {
        if (leftOut(change.window, change.owner, change.captured)) {
            return true; // a window the picture leaves out
        }
        if (!change.region) {
            return false;
        }
        if (change.crossings.empty()) {
            region += *change.region;
        }
        for (const State::Damage::Crossing& crossing : change.crossings) {
            if (!leftOut(crossing.window, crossing.owner, crossing.captured)) {
                region += crossing.region;
            }
        }
        return true;
    };
    // The stacking as it is now against the one last drawn.
    for (const State::Damage& change : restackings(*this, *m_state)) {
        add(change);
    }
    if (serial >= m_state->damageSerial) {
        return region;
    }
    const auto& log = m_state->damage;
    if (log.empty() || log.front().serial > serial + 1) {
        return std::nullopt; // forgotten
    }
    for (auto it = log.crbegin(); it != log.crend() && it->serial > serial; ++it) {
        if (!add(*it)) {
            return std::nullopt;
        }
    }
    return region;
}

void SimDesktop::notePictureDamage(qint64 key, qint64 previousKey, std::optional<QRegion> pixels)
{
    auto& pictures = m_state->pictures;
    std::erase_if(pictures, [key](const State::Picture& p) { return p.key == key; });
    pictures.push_back({key, previousKey, std::move(pixels)});
    if (pictures.size() > State::kKeptPictures) {
        pictures.pop_front();
    }
}

std::optional<QRegion> SimDesktop::pictureDamage(qint64 from, qint64 to) const
{
    QRegion region;
    qint64 at = to;
    // Back from the newer picture, one known change at a time.
    for (std::size_t steps = 0; at != from; ++steps) {
        const auto& pictures = m_state->pictures;
        const auto it = std::find_if(
            pictures.cbegin(), pictures.cend(), [at](const State::Picture& p) { return p.key == at; });
        if (it == pictures.cend() || !it->pixels || steps >= State::kKeptPictures) {
            return std::nullopt;
        }
        region += *it->pixels;
        at = it->previous;
    }
    return region;
}

quint64 SimDesktop::windowContentVersion(quint32 number) const
{
    const auto it = m_state->windows.find(number);
    return it != m_state->windows.end() ? it->second.contentVersion : 0;
}

void SimDesktop::passOnRepaints()
{
    // Copied first: a repaint may change the window list.
    std::vector<QPointer<QWidget>> contents;
    for (const OrderedWindow& window : orderedWindows()) {
        if (window.onScreen && window.setup->content) {
            contents.push_back(window.setup->content);
        }
    }
    for (const QPointer<QWidget>& content : contents) {
        if (content) {
            QCoreApplication::sendPostedEvents(content.data(), QEvent::UpdateRequest);
        }
    }
}

Cancellable SimDesktop::addChangeObserver(std::function<void()> observer)
{
    return m_state->changes.addObserver(
        kDesktopChanged, [observer = std::move(observer)](const Notification&) { observer(); });
}

quint64 SimDesktop::generation() const
{
    return m_state->generation;
}

quint64 SimDesktop::contentGeneration() const
{
    return m_state->contentGeneration;
}

void SimDesktop::setMenuBarHeight(double height)
{
    m_menuBarHeight = height;
    m_state->changed();
}

void SimDesktop::setWindowAlpha(quint32 number, double alpha)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        it->second.setup.alpha = alpha;
        m_state->damagedWindow(number);
        m_state->touch(number);
    }
}

std::optional<quint32> SimDesktop::windowAt(QPointF location) const
{
    for (const quint32 number : windowOrder()) {
        const auto& setup = m_state->windows.at(number).setup;
        if (isWindowOnScreen(number) && !setup.ignoresMouseEvents && setup.alpha.value_or(1.0) > 0
            && setup.bounds.contains(location)) {
            return number;
        }
    }
    return std::nullopt;
}

namespace {
const QString kMouseDownName = QStringLiteral("mouseDown");
} // namespace

Cancellable SimDesktop::addMouseDownMonitor(std::function<void(QPointF)> monitor)
{
    return m_mouseDownMonitors.addObserver(
        kMouseDownName, [monitor = std::move(monitor)](const Notification& n) {
            monitor(QPointF(n.userInfo.value(QStringLiteral("x")).toDouble(),
                            n.userInfo.value(QStringLiteral("y")).toDouble()));
        });
}

void SimDesktop::dispatchEvent(const std::function<void()>& handle)
{
    ++m_eventNumber;
    handle();
}

void SimDesktop::sendMouse(QWidget* target, QEvent::Type type, QPointF location)
{
    if (target == nullptr || m_grabberRootSize.isEmpty() || m_grabberWindowBounds.isEmpty()) {
        return;
    }
    // The window's widgets are laid out at the root's size and drawn stretched over the bounds.
    const QPointF inRoot((location.x() - m_grabberWindowBounds.x()) * m_grabberRootSize.width()
                             / m_grabberWindowBounds.width(),
                         (location.y() - m_grabberWindowBounds.y()) * m_grabberRootSize.height()
                             / m_grabberWindowBounds.height());
    const QPointF local = target->mapFrom(target->window(), inRoot);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, location, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void SimDesktop::mouseMoved(QPointF location)
{
    ++m_eventNumber;
    m_mouseLocation = location;
    if (m_mouseGrabber) {
        sendMouse(m_mouseGrabber, QEvent::MouseMove, location);
        return;
    }
    updateHover(location);
}

void SimDesktop::mouseExited()
{
    if (m_mouseGrabber) {
        return;
    }
    ++m_eventNumber;
    setHovered({}, {}, m_mouseLocation);
}

QWidget* SimDesktop::ownWidgetAt(QPointF location, QPointF* inRoot) const
{
    const auto number = windowAt(location);
    return number ? widgetIn(*number, location, inRoot) : nullptr;
}

QWidget* SimDesktop::widgetIn(quint32 number, QPointF location, QPointF* inRoot) const
{
    const auto window = m_state->windows.find(number);
    if (window == m_state->windows.end()) {
        return nullptr;
    }
    const WindowSpec& setup = window->second.setup;
    QWidget* root = setup.content.data();
    if (root == nullptr || setup.bounds.isEmpty()) {
        return nullptr;
    }
    // The window's widgets are laid out at the root's size and drawn stretched over the bounds.
    const QPointF point((location.x() - setup.bounds.x()) * root->width() / setup.bounds.width(),
                        (location.y() - setup.bounds.y()) * root->height() / setup.bounds.height());
    if (inRoot != nullptr) {
        *inRoot = point;
    }
    QWidget* target = root->childAt(point.toPoint());
    return target != nullptr ? target : root;
}

void SimDesktop::updateHover(QPointF location)
{
    QPointF inRoot;
    QList<QPointer<QWidget>> now;
    for (QWidget* w = ownWidgetAt(location, &inRoot); w != nullptr; w = w->parentWidget()) {
        now.prepend(w);
    }
    setHovered(now, inRoot, location);
}

void SimDesktop::setHovered(const QList<QPointer<QWidget>>& now, QPointF inRoot, QPointF location)
{
    // Leave what the pointer left, innermost first, then enter what it reached, outermost first.
    for (auto it = m_hovered.crbegin(); it != m_hovered.crend(); ++it) {
        if (*it && !now.contains(*it)) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(it->data(), &leave);
        }
    }
    for (const QPointer<QWidget>& w : std::as_const(now)) {
        if (w && !m_hovered.contains(w)) {
            const QPointF local = w->mapFrom(w->window(), inRoot);
            QEnterEvent enter(local, local, location);
            QApplication::sendEvent(w.data(), &enter);
        }
    }
    m_hovered = now;
}

void SimDesktop::mouseDown(QPointF location)
{
    ++m_eventNumber;
    m_mouseLocation = location;
    m_mouseGrabber = nullptr;
    m_mouseDownMonitors.post(Notification{
        kMouseDownName, {{QStringLiteral("x"), location.x()}, {QStringLiteral("y"), location.y()}}, nullptr});
    const auto number = windowAt(location);
    if (!number) {
        return;
    }
    const WindowSpec setup = m_state->windows.at(*number).setup;
    if (!setup.content) {
        // The Dock, the menu bar and other accessory apps' windows leave the frontmost app be.
        const auto owner = m_state->app(setup.owner);
        if (setup.owner != m_state->ownPid && owner && owner->setup.policy == ActivationPolicy::Regular) {
            // The window clicked comes in front, and only it: the app's other windows stay put.
            orderFront(*number);
            activateApp(setup.owner);
        }
        return;
    }
    // A click on a window that can be key makes it key, and this application the active one.
    if (setup.becomeKey && setup.becomeKey()) {
        orderFront(*number);
        if (m_state->frontmost != m_state->ownPid) {
            activateApp(m_state->ownPid);
        }
    }
    // The press, its drags and its release go to the window under the pointer at the press,
    // whatever the activation put in front of it since.
    const auto pressed = m_state->windows.find(*number);
    if (pressed == m_state->windows.end() || !pressed->second.setup.content) {
        return;
    }
    m_mouseGrabber = widgetIn(*number, location);
    m_grabberWindowBounds = pressed->second.setup.bounds;
    m_grabberRootSize = pressed->second.setup.content->size();
    sendMouse(m_mouseGrabber, QEvent::MouseButtonPress, location);
}

void SimDesktop::mouseUp(QPointF location)
{
    ++m_eventNumber;
    m_mouseLocation = location;
    const QPointer<QWidget> grabber = std::exchange(m_mouseGrabber, nullptr);
    if (grabber) {
        sendMouse(grabber, QEvent::MouseButtonRelease, location);
    }
}

void SimDesktop::setWindowKeyHandler(quint32 number, std::function<bool()> becomeKey)
{
    if (const auto it = m_state->windows.find(number); it != m_state->windows.end()) {
        it->second.setup.becomeKey = std::move(becomeKey);
    }
}

quint32 SimDesktop::keyWindow() const
{
    return isWindowOnScreen(m_keyWindow) ? m_keyWindow : 0;
}

void SimDesktop::passKeyOn()
{
    m_keyWindow = 0;
    for (const quint32 number : windowOrder()) {
        const WindowSpec setup = m_state->windows.at(number).setup;
        if (setup.owner == m_state->ownPid && isWindowOnScreen(number) && setup.becomeKey
            && setup.becomeKey()) {
            return;
        }
    }
}

void SimDesktop::keyEvent(const QKeyEvent& event)
{
    ++m_eventNumber;
    m_lastKeyRecipient = 0;
    const std::optional<KeyEvent> key = keyEventFromQt(event);
    // A modifier key held down changes the flags once.
    const bool modifierRepeat = key && key->type == EventType::FlagsChanged && event.isAutoRepeat();
    if (modifierRepeat || (key && takenByHotKey(*key))) {
        return;
    }
    m_lastKeyRecipient = m_state->frontmost;
    if (m_state->frontmost == m_state->ownPid) {
        sendKeyToThisApplication(event);
    }
}

bool SimDesktop::takenByHotKey(const KeyEvent& key)
{
    switch (key.type) {
    case EventType::FlagsChanged:
        return false;
    case EventType::KeyUp:
        return m_keysTakenByHotKeys.remove(key.keyCode);
    case EventType::KeyDown:
        break;
    }
    if (key.isARepeat) {
        return m_keysTakenByHotKeys.contains(key.keyCode);
    }
    if (m_hotKeys != nullptr && m_hotKeys->takeKeyDown(key)) {
        m_keysTakenByHotKeys.insert(key.keyCode);
        return true;
    }
    return false;
}

void SimDesktop::sendKeyToThisApplication(const QKeyEvent& event)
{
    QObject* target = &m_windowlessKeyReceiver;
    if (const quint32 number = keyWindow(); number != 0) {
        QWidget* root = m_state->windows.at(number).setup.content.data();
        QWidget* focus = root != nullptr ? root->focusWidget() : nullptr;
        target = focus != nullptr && focus->isVisible() ? focus : root;
    }
    if (target == nullptr) {
        return;
    }
    QKeyEvent copy(event.type(),
                   event.key(),
                   event.modifiers(),
                   event.nativeScanCode(),
                   event.nativeVirtualKey(),
                   event.nativeModifiers(),
                   event.text(),
                   event.isAutoRepeat(),
                   event.count());
    // Each event its own time, so that no one mistakes two key presses for one.
    m_lastKeyTimestamp = std::max(event.timestamp(), m_lastKeyTimestamp + 1);
    copy.setTimestamp(m_lastKeyTimestamp);
    QApplication::sendEvent(target, &copy);
}

void SimDesktop::scrollWheel(QPointF location, const ScrollEvent& scroll)
{
    ++m_eventNumber;
    m_mouseLocation = location;
    QPointF inRoot;
    QPointer<QWidget> widget = ownWidgetAt(location, &inRoot);
    while (widget) {
        QWheelEvent event(widget->mapFrom(widget->window(), inRoot),
                          location,
                          scroll.pixelDelta.toPoint(),
                          scroll.angleDelta,
                          Qt::NoButton,
                          scroll.modifiers,
                          scroll.phase,
                          scroll.inverted);
        const bool delivered = QApplication::sendEvent(widget, &event);
        if ((delivered && event.isAccepted()) || !widget || widget->isWindow()
            || widget->testAttribute(Qt::WA_NoMousePropagation)) {
            return;
        }
        widget = widget->parentWidget();
    }
}

ActivationPolicy SimDesktop::activationPolicy() const
{
    const auto own = m_state->app(m_state->ownPid);
    return own ? own->setup.policy : ActivationPolicy::Regular;
}

bool SimDesktop::setActivationPolicy(ActivationPolicy policy)
{
    const auto own = m_state->app(m_state->ownPid);
    if (!own) {
        return false;
    }
    own->setup.policy = policy;
    m_state->changed();
    return true;
}

void SimDesktop::activate(bool /*ignoringOtherApps*/)
{
    activateApp(m_state->ownPid);
}

bool SimDesktop::isActive() const
{
    return m_state->frontmost == m_state->ownPid;
}

void SimDesktop::terminate()
{
    ++m_terminateRequests;
    if (m_terminate) {
        m_terminate();
    }
}

void SimDesktop::postScreenChange()
{
    m_state->damaged(std::nullopt);
    m_state->changed();
    m_defaultCenter.post(Notification{kApplicationDidChangeScreenParameters, {}, nullptr});
}

void SimDesktop::postWorkspace(const QString& name, pid_type pid)
{
    // Launched, ended or activated: the running applications changed.
    m_state->changed();
    Notification n;
    n.name = name;
    n.application = std::make_shared<SimRunningApplication>(m_state, pid, this);
    m_workspaceCenter.post(n);
}

} // namespace platform::sim
