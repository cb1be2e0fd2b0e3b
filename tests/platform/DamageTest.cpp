// Pictures kept and composed again only where the desktop changed come out exactly as pictures
// composed whole: the screenshots of a display and of "Veilmox", and the viewer's panes.
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/platform/DesktopViews.h"
#include "tests/support/OnScreen.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace platform;
using platform::sim::SimDesktop;
using testing_support::filled;
using testing_support::PictureView;

namespace {

// The parts of a widget painted, as Qt asks for them.
class PaintedParts final : public QObject
{
public:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            parts += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    QRegion parts;
};

// A built-in display and "Veilmox" beside it, both at scale 2, with windows of every kind on the
// built-in one: titled ones with patches, one at fractional bounds, a see-through one, one that no
// capture sees, one of this program's own drawn from its widget, and the capture's mirror filling
// "Veilmox" with the frames the capture hands out, a mask painted over them when one is set.
struct Desk
{
    Desk()
        : capture(desktop, scheduler)
    {
        SimDesktop::DisplaySpec builtIn;
        builtIn.frame = QRectF(0, 0, 160, 100);
        builtIn.backingScale = 2;
        display = desktop.addDisplay(builtIn);
        SimDesktop::DisplaySpec virtualOne;
        virtualOne.name = QStringLiteral("Veilmox");
        virtualOne.frame = QRectF(160, 0, 160, 100);
        virtualOne.backingScale = 2;
        virtualOne.desktopColor = Qt::black;
        veilmox = desktop.addVirtualDisplay(virtualOne);
        services.screens = &desktop;
        services.appWindows = &desktop;
        apps = {desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A")),
                desktop.launchApp(QStringLiteral("com.example.b"), QStringLiteral("B")),
                desktop.launchApp(QStringLiteral("com.example.c"), QStringLiteral("C"))};
        SimDesktop::WindowSpec made;
        made.owner = apps[0];
        made.title = QStringLiteral("Alpha");
        made.bounds = QRectF(10, 10, 80, 50);
        made.color = QColor(0xe0, 0x20, 0x20);
        made.patches = {{QRectF(20, 25, 30, 10), QColor(0xff, 0xee, 0x00)}};
        windows.push_back(desktop.addWindow(made));
        made.owner = apps[1];
        made.title = QStringLiteral("Bravo");
        made.bounds = QRectF(50.5, 30.25, 90.5, 60.75);
        made.color = QColor(0x20, 0x40, 0xe0);
        made.patches = {};
        windows.push_back(desktop.addWindow(made));
        made.owner = apps[2];
        made.title = QStringLiteral("Glass");
        made.bounds = QRectF(30, 50, 60, 40);
        made.color = QColor(0, 200, 0, 120);
        windows.push_back(desktop.addWindow(made));
        made.title = QStringLiteral("Private");
        made.bounds = QRectF(110, 5, 40, 40);
        made.color = QColor(0x90, 0x20, 0x90);
        made.sharingState = static_cast<qint64>(WindowSharingType::None);
        windows.push_back(desktop.addWindow(made));

        own = std::make_unique<Window>(
            services, QRectF(100, 60, 50, 30), kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
        ownContent = filled(Qt::white);
        own->setContentView(ownContent);
        own->orderFrontRegardless();

        mirror = std::make_unique<Window>(services,
                                          desktop.display(veilmox)->frame,
                                          kWindowStyleMaskBorderless,
                                          BackingStoreType::Buffered,
                                          false);
        mirrorView = new PictureView;
        mirror->setContentView(mirrorView);
        mirror->orderFrontRegardless();
        desktop.mouseMoved(QPointF(40, 40));
    }

    // What the capture of the built-in display sends on: all but the window left out.
    SCContentFilter filter() const { return displayFilter(display, excluding ? windows[1] : 0); }
    SCContentFilter veilmoxFilter() const { return displayFilter(veilmox, 0); }
    SCContentFilter displayFilter(quint32 id, quint32 leftOut) const
    {
        SCDisplay target;
        target.displayID = id;
        target.frame = desktop.display(id)->frame;
        target.width = 160;
        target.height = 100;
        QList<SCWindow> windowsLeftOut;
        if (leftOut != 0) {
            windowsLeftOut.append(SCWindow{});
            windowsLeftOut.back().windowID = leftOut;
        }
        return SCContentFilter::displayExcludingWindows(target, windowsLeftOut);
    }

    // At the displays' scale of 2, or at another size.
    QImage screenshot(const SCContentFilter& of, QSize size = QSize(320, 200))
    {
        SCStreamConfiguration configuration;
        configuration.width = size.width();
        configuration.height = size.height();
        configuration.showsCursor = true;
        std::optional<QImage> image;
        capture.captureImage(of, configuration, [&](auto i, auto) { image = std::move(i); });
        scheduler.runPending();
        return image.value_or(QImage());
    }

    // The same picture composed whole.
    QImage whole(const SCContentFilter& of, const QImage& like) const
    {
        QImage picture(like.size(), like.format());
        capture.compositor().render(capture.compositor().scene(of), picture, true);
        return picture;
    }

    // A frame as the product shows it on "Veilmox": the screenshot itself, or a copy with the
    // mask painted over it; saying where it changed from the frame before when `reports`.
    void deliver(const QImage& frame)
    {
        const QImage before = shown;
        shown = frame;
        if (mask) {
            QPainter(&shown).fillRect(*mask, QColor(0x17, 0x18, 0x1c));
        }
        if (reports && !before.isNull() && before.size() == shown.size()) {
            mirrorView->show(shown, before.cacheKey(), changedPixels(before, shown));
        } else {
            mirrorView->show(shown);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }

    // Where two pictures of one size differ, row by row.
    static QRegion changedPixels(const QImage& a, const QImage& b)
    {
        QRegion region;
        for (int y = 0; y < a.height(); ++y) {
            int from = -1;
            for (int x = 0; x <= a.width(); ++x) {
                const bool differs = x < a.width() && a.pixel(x, y) != b.pixel(x, y);
                if (differs && from < 0) {
                    from = x;
                } else if (!differs && from >= 0) {
                    region += QRect(from, y, x - from, 1);
                    from = -1;
                }
            }
        }
        return region;
    }

    sim::VirtualScheduler scheduler;
    SimDesktop desktop;
    sim::SimScreenCapture capture;
    Services services;
    quint32 display = 0;
    quint32 veilmox = 0;
    std::vector<pid_type> apps;
    std::vector<quint32> windows;
    std::unique_ptr<Window> own;
    QWidget* ownContent = nullptr;
    std::unique_ptr<Window> mirror;
    PictureView* mirrorView = nullptr;
    std::optional<QRect> mask;
    bool excluding = true;
    bool reports = false;
    QImage shown;
};

struct Change
{
    const char* kind;
    std::function<void(Desk&, std::mt19937&)> act;
};

double between(std::mt19937& random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

// Every kind of change the desktop draws, each with random amounts.
const std::vector<Change>& changes()
{
    static const std::vector<Change> kChanges = {
        {"a window moved",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             const double step = r() % 2 == 0 ? 1.0 : 0.5;
             d.desktop.setWindowBounds(
                 w, d.desktop.window(w)->bounds.translated(between(r, -3, 3) * step, step));
         }},
        {"a window resized",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             d.desktop.setWindowBounds(w, d.desktop.window(w)->bounds.adjusted(0, 0, between(r, -4, 4), 2));
         }},
        {"a window ordered in front",
         [](Desk& d, std::mt19937& r) {
             d.desktop.orderFront(d.windows[r() % d.windows.size()]);
         }},
        {"a window hidden and shown",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             d.desktop.setWindowOnScreen(w, !d.desktop.isWindowOnScreen(w));
         }},
        {"an app hidden and shown",
         [](Desk& d, std::mt19937& r) {
             const auto app = d.desktop.runningApplication(d.apps[r() % d.apps.size()]);
             if (app->isHidden()) {
                 app->unhide();
             } else {
                 app->hide();
             }
         }},
        {"a window retitled, or its title taken away",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             const auto n = r() % 1000;
             d.desktop.setWindowTitle(
                 w, n % 4 == 0 ? std::nullopt : std::optional(QStringLiteral("T%1").arg(n)));
         }},
        {"a window raised to another level or lowered again",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             d.desktop.setWindowLevel(w, d.desktop.window(w)->layer == 0 ? 3 : 0);
         }},
        {"a window's sharing type switched between none and read-only",
         [](Desk& d, std::mt19937& r) {
             const quint32 w = d.windows[r() % d.windows.size()];
             const bool captured = d.desktop.window(w)->sharingState != qint64(WindowSharingType::None);
             d.desktop.setWindowSharingType(w,
                                            captured ? WindowSharingType::None : WindowSharingType::ReadOnly);
         }},
        {"an app hidden or shown, then more changes elsewhere than the desktop remembers",
         [](Desk& d, std::mt19937& r) {
             const auto app = d.desktop.runningApplication(d.apps[r() % d.apps.size()]);
             app->isHidden() ? app->unhide() : app->hide();
             // Off every display, so that none of it reaches a picture.
             const quint32 far =
                 d.desktop.addWindow(d.apps[0], QStringLiteral("Far"), QRectF(1000, 1000, 10, 10));
             for (int n = 0; n < 300; ++n) {
                 d.desktop.setWindowAlpha(far, n % 2 == 0 ? 0.5 : 1.0);
             }
             d.desktop.removeWindow(far);
         }},
        {"a see-through window",
         [](Desk& d, std::mt19937& r) {
             d.desktop.setWindowAlpha(d.windows[r() % d.windows.size()], between(r, 0.2, 1));
         }},
        {"the program's window drew something else",
         [](Desk& d, std::mt19937& r) {
             QPalette palette = d.ownContent->palette();
             palette.setColor(QPalette::Window, QColor::fromHsv(static_cast<int>(r() % 360), 200, 200));
             d.ownContent->setPalette(palette);
         }},
        {"the program's window moved",
         [](Desk& d, std::mt19937& r) {
             const double x = between(r, 0, 120); // one at a time: arguments come in no set order
             d.own->setFrame(QRectF(x, between(r, 0, 70), 50, 30), true);
         }},
        {"the pointer moved",
         [](Desk& d, std::mt19937& r) {
             const double x = between(r, -10, 330);
             d.desktop.mouseMoved(QPointF(x, between(r, -10, 110)));
         }},
        {"a window came and one went",
         [](Desk& d, std::mt19937& r) {
             SimDesktop::WindowSpec made;
             made.owner = d.apps[r() % d.apps.size()];
             made.title = QStringLiteral("New");
             const double x = between(r, 0, 120);
             made.bounds = QRectF(x, between(r, 0, 70), 40, 30);
             made.color = QColor::fromHsv(static_cast<int>(r() % 360), 255, 255);
             // Patched like the first, which goes early: patches move with their windows all along.
             made.patches = {{QRectF(4, 18, 20, 8), QColor::fromHsv(static_cast<int>(r() % 360), 120, 255)}};
             d.windows.push_back(d.desktop.addWindow(made));
             if (d.windows.size() > 6) {
                 d.desktop.removeWindow(d.windows.front());
                 d.windows.erase(d.windows.begin());
             }
         }},
        {"the mask moved, came or went",
         [](Desk& d, std::mt19937& r) {
             if (r() % 3 == 0) {
                 d.mask.reset();
                 return;
             }
             const int x = static_cast<int>(r() % 250);
             d.mask = QRect(x, static_cast<int>(r() % 150), 60, 40);
         }},
        {"the built-in display set up again with another wallpaper",
         [](Desk& d, std::mt19937& r) {
             SimDesktop::DisplaySpec setup = *d.desktop.display(d.display);
             setup.id = d.display;
             setup.desktopColor = QColor::fromHsv(static_cast<int>(r() % 360), 90, 110);
             d.desktop.removeDisplay(d.display);
             d.desktop.addDisplay(setup);
             d.desktop.setMainDisplay(d.display);
         }},
        {"the capture left a window out or let it in",
         [](Desk& d, std::mt19937& /*r*/) {
             d.excluding = !d.excluding;
         }},
    };
    return kChanges;
}

// One turn of the loop: a change, the capture's screenshot delivered to "Veilmox", the
// screenshot of "Veilmox" itself, each equal to the picture composed whole.
void step(Desk& d, const Change& change, std::mt19937& random)
{
    change.act(d, random);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    const SCContentFilter filter = d.filter();
    const QImage frame = d.screenshot(filter);
    ASSERT_FALSE(frame.isNull());
    EXPECT_TRUE(frame == d.whole(filter, frame)) << "the display's screenshot";
    d.reports = random() % 2 == 0;
    d.deliver(frame);
    const QImage audience = d.screenshot(d.veilmoxFilter());
    EXPECT_TRUE(audience == d.whole(d.veilmoxFilter(), audience)) << "the screenshot of \"Veilmox\"";
}

} // namespace

TEST(Damage, PicturesComposedWhereTheDesktopChangedEqualPicturesComposedWhole)
{
    Desk d;
    std::mt19937 random(7);
    step(d, changes().front(), random);
    for (const Change& change : changes()) {
        SCOPED_TRACE(change.kind);
        for (int again = 0; again < 3; ++again) {
            step(d, change, random);
        }
        // Frames without a mask, which "Veilmox" shows as they came.
        d.mask.reset();
    }
    // Random sequences, a few changes between two screenshots at times, with the last frames
    // still held by their receivers at times.
    std::vector<QImage> held;
    for (int n = 0; n < 300; ++n) {
        SCOPED_TRACE(n);
        const int count = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i + 1 < count; ++i) {
            changes()[random() % changes().size()].act(d, random);
        }
        step(d, changes()[random() % changes().size()], random);
        if (random() % 2 == 0) {
            held.push_back(d.shown);
        }
        if (held.size() > 3 || random() % 4 == 0) {
            held.clear();
        }
        if (HasFailure()) {
            return;
        }
    }
    // A still desktop is handed out again, from the second screenshot of its filter on.
    d.screenshot(d.filter());
    const int drawn = d.capture.drawnScreenshotCount();
    for (int n = 0; n < 5; ++n) {
        d.screenshot(d.filter());
    }
    EXPECT_EQ(d.capture.drawnScreenshotCount(), drawn);
}

// A view that says where its new picture changed from the one before is redrawn only there, and
// only when that picture before is the one the window server shows: changes it never read, or a
// picture it never saw, are redrawn whole.
TEST(Damage, AViewsOwnChangesAreRedrawnFromThePictureShownOnly)
{
    Desk d;
    d.deliver(d.screenshot(d.filter()));
    const auto audienceIsWhole = [&d] {
        const QImage audience = d.screenshot(d.veilmoxFilter());
        return audience == d.whole(d.veilmoxFilter(), audience);
    };
    ASSERT_TRUE(audienceIsWhole());
    const auto paint = [](QImage picture, const QRect& where, const QColor& colour) {
        QPainter(&picture).fillRect(where, colour);
        return picture;
    };
    const QImage first = d.shown;
    const QImage second = paint(first, QRect(100, 60, 20, 10), Qt::red);
    const quint64 serial = d.desktop.damageSerial();
    d.mirrorView->show(second, first.cacheKey(), QRegion(100, 60, 20, 10));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_TRUE(audienceIsWhole());
    const auto damaged = d.desktop.damageSince(serial);
    ASSERT_TRUE(damaged);
    EXPECT_LE(damaged->boundingRect().width(), 14) << "points, the change and a point around it";
    EXPECT_LE(damaged->boundingRect().height(), 9);

    // Two pictures before the window server reads again: the change of the first is not lost.
    const QImage third = paint(second, QRect(10, 150, 30, 20), Qt::blue);
    const QImage fourth = paint(third, QRect(250, 20, 10, 10), Qt::green);
    d.mirrorView->show(third, second.cacheKey(), QRegion(10, 150, 30, 20));
    d.mirrorView->show(fourth, third.cacheKey(), QRegion(250, 20, 10, 10));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_TRUE(audienceIsWhole()) << "changes the window server never read";

    // Changes from a picture the window server never showed.
    const QImage stranger = paint(fourth, QRect(0, 0, 320, 200), Qt::yellow);
    const QImage fifth = paint(first, QRect(200, 100, 10, 10), Qt::magenta);
    d.mirrorView->show(fifth, stranger.cacheKey(), QRegion(200, 100, 10, 10));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_TRUE(audienceIsWhole()) << "changes from another picture";
}

// A picture window shown smaller or larger than its picture is scaled once and then again only
// where the picture changed, each pixel as a scaling of all of it gives, down to single pixels
// changed at the picture's edges: the capture's picture shown smaller and a little larger, and a
// small one shown six and seven times larger, as the viewer shows "Veilmox" mirroring a small
// display on a large screen, where the smoothing of one pixel reaches furthest.
TEST(Damage, APictureScaledAgainWhereItChangedEqualsOneScaledWhole)
{
    Desk d;
    d.deliver(d.screenshot(d.filter()));
    const QImage capture = d.shown.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const struct
    {
        QImage first;
        std::vector<QSize> sizes;
        int changes;
    } cases[] = {
        {capture, {QSize(230, 144), QSize(517, 323)}, 80},
        {capture.scaled(160, 100), {QSize(960, 600), QSize(1120, 700)}, 20},
    };
    for (const auto& [first, sizes, changes] : cases) {
        SCOPED_TRACE(first.width());
        // Each keeps the picture at one size.
        std::vector<std::pair<QSize, std::unique_ptr<sim::SimCompositor>>> kept;
        for (const QSize size : sizes) {
            kept.emplace_back(size, std::make_unique<sim::SimCompositor>(d.desktop));
            kept.back().second->setKeepsWindowSurfaces(true);
        }
        std::mt19937 random(5);
        QImage shown = first;
        d.mirrorView->show(shown);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        for (int n = 0; n < changes; ++n) {
            SCOPED_TRACE(n);
            QImage next = shown.copy();
            QRegion changed;
            for (int pixel = static_cast<int>(random() % 3); pixel >= 0; --pixel) {
                const QPoint at(static_cast<int>(random() % shown.width()),
                                n % 5 == 0 ? 0 : static_cast<int>(random() % shown.height()));
                next.setPixel(at, QColor::fromHsv(static_cast<int>(random() % 360), 255, 255).rgb());
                changed += QRect(at, QSize(1, 1));
            }
            d.mirrorView->show(next, shown.cacheKey(), changed);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            shown = next;
            for (const auto& [size, compositor] : kept) {
                QImage partly(size, QImage::Format_ARGB32_Premultiplied);
                compositor->render(*compositor->displayScene(d.veilmox, false), partly, false);
                sim::SimCompositor fresh(d.desktop);
                fresh.setKeepsWindowSurfaces(true);
                QImage fully(size, QImage::Format_ARGB32_Premultiplied);
                fresh.render(*fresh.displayScene(d.veilmox, false), fully, false);
                ASSERT_EQ(partly, fully) << size.width() << " pixels wide";
            }
        }
    }
}

TEST(Damage, AViewerPaneRepaintedWhereTheDesktopChangedEqualsOneRepaintedWhole)
{
    Desk d;
    sim::DesktopViewer viewer(d.desktop, d.scheduler);
    viewer.showAllDisplays();
    viewer.resize(730, 260); // pictures at a scale of pixels to points that is not whole
    viewer.show();
    viewer.refresh();
    const auto check = [&](quint32 id, bool seen) {
        // Composed anew, keeping nothing from earlier pictures.
        sim::SimCompositor whole(d.desktop);
        whole.setKeepsWindowSurfaces(true);
        const QImage partly = viewer.picture(id);
        QImage fully(partly.size(), QImage::Format_ARGB32_Premultiplied);
        whole.render(*whole.displayScene(id, seen), fully, false);
        QImage compared = partly;
        compared.setDevicePixelRatio(1);
        return compared == fully;
    };
    std::mt19937 random(11);
    for (int n = 0; n < 200; ++n) {
        SCOPED_TRACE(n);
        step(d, changes()[random() % changes().size()], random);
        viewer.refresh();
        ASSERT_TRUE(check(d.display, true)) << "the built-in display as the user sees it";
        ASSERT_TRUE(check(d.veilmox, false)) << "\"Veilmox\" as the audience sees it";
        // On screen, after only the changed parts were painted, each pane is what a paint of
        // all of it gives.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
        const QImage screen = testing_support::grabOnScreen(viewer);
        for (const quint32 id : {d.display, d.veilmox}) {
            QWidget* pane = viewer.displayView(id);
            const double ratio = screen.devicePixelRatio();
            const QImage onScreen =
                screen.copy(QRect(pane->mapTo(&viewer, QPoint(0, 0)) * ratio, pane->size() * ratio));
            ASSERT_EQ(onScreen.convertToFormat(QImage::Format_RGB32),
                      pane->grab().toImage().convertToFormat(QImage::Format_RGB32))
                << (id == d.display ? "the built-in display's pane" : "the pane of \"Veilmox\"");
        }
    }

    // A window that moves a point has only its edges and its title painted again, and only there
    // does the viewer have Qt paint the widget again.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
    PaintedParts painted; // on the pane of now: a display set up again has a new one
    viewer.displayView(d.display)->installEventFilter(&painted);
    const qint64 before = viewer.picture(d.display).cacheKey();
    d.desktop.setWindowBounds(d.windows.back(), d.desktop.window(d.windows.back())->bounds.translated(1, 0));
    viewer.refresh();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
    EXPECT_NE(viewer.picture(d.display).cacheKey(), before);
    const QWidget* view = viewer.displayView(d.display);
    qint64 area = 0;
    for (const QRect& r : painted.parts) {
        area += qint64{r.width()} * r.height();
    }
    EXPECT_GT(area, 0);
    EXPECT_LT(area, qint64{view->width()} * view->height() / 4);
    EXPECT_TRUE(check(d.display, true));
}

// A window of a shared app that closes goes from what the audience sees: after it closes, the
// picture of the display and "Veilmox" showing it are the display composed whole, whatever the
// filter leaves out, as long as it does not name that window or its app.
TEST(Damage, AClosedWindowOfASharedAppLeavesThePictureOfTheDisplayAndOfVeilmox)
{
    const auto app = [](const Desk& d, std::size_t i) {
        SCRunningApplication running;
        running.processID = d.apps[i];
        return running;
    };
    const struct
    {
        const char* filter;
        std::function<SCContentFilter(const Desk&)> make;
    } cases[] = {
        {"leaving out another app's window",
         [](const Desk& d) {
             return d.displayFilter(d.display, d.windows[1]);
         }},
        {"leaving out another app",
         [&app](const Desk& d) {
             SCDisplay target;
             target.displayID = d.display;
             target.frame = d.desktop.display(d.display)->frame;
             target.width = 160;
             target.height = 100;
             return SCContentFilter::displayExcludingApplications(target, {app(d, 1)}, {});
         }},
        {"leaving nothing out",
         [](const Desk& d) {
             return d.displayFilter(d.display, 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        Desk d;
        const SCContentFilter filter = c.make(d);
        // Kept pictures of both series: from the second screenshot on, only what changed is drawn.
        for (int n = 0; n < 2; ++n) {
            d.deliver(d.screenshot(filter));
            d.screenshot(d.veilmoxFilter());
        }
        // Alpha, of app A, in front of the wallpaper and of Glass.
        ASSERT_NE(d.shown.pixel(QPoint(30, 30)), d.desktop.display(d.display)->desktopColor.rgb());
        d.desktop.removeWindow(d.windows[0]);

        const QImage frame = d.screenshot(filter);
        const QImage whole = d.whole(filter, frame);
        EXPECT_TRUE(frame == whole) << "the display's screenshot";
        d.deliver(frame);
        const QImage audience = d.screenshot(d.veilmoxFilter());
        EXPECT_TRUE(audience.convertToFormat(QImage::Format_RGB32)
                    == whole.convertToFormat(QImage::Format_RGB32))
            << "\"Veilmox\" as the audience sees it";
    }
}

// A part of one of the program's windows that it paints again, at a place where the window's
// points fall between whole points of the display, is drawn again in every pixel it touches: the
// display's screenshots and the viewer's pane equal them composed whole, down to pictures of four
// pixels a point, where half a point is more than the pixel of smoothing around a change.
TEST(Damage, AWindowRepaintedBetweenWholePointsIsDrawnAgainInEveryPixelItTouches)
{
    Desk d;
    auto* content = filled(Qt::white);
    QWidget* part = filled(QColor(0x30, 0x90, 0x30));
    part->setParent(content);
    part->setGeometry(5, 5, 10, 10);
    d.own->setContentView(content);
    d.own->setFrame(QRectF(100.5, 60.5, 50, 30), true);
    QCoreApplication::sendPostedEvents(); // shown and laid out in its window
    const QSize sizes[] = {QSize(320, 200), QSize(640, 400)};
    sim::DesktopViewer viewer(d.desktop, d.scheduler);
    viewer.showDisplay(d.desktop.display(d.display)->name);
    viewer.resize(700, 500);
    viewer.show();
    const auto paneIsWhole = [&] {
        viewer.refresh();
        sim::SimCompositor whole(d.desktop);
        whole.setKeepsWindowSurfaces(true);
        QImage partly = viewer.picture(d.display);
        partly.setDevicePixelRatio(1);
        QImage fully(partly.size(), QImage::Format_ARGB32_Premultiplied);
        whole.render(*whole.displayScene(d.display, true), fully, false);
        return partly == fully;
    };
    for (int n = 0; n < 2; ++n) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        for (const QSize size : sizes) {
            d.screenshot(d.filter(), size);
        }
        ASSERT_TRUE(paneIsWhole());
    }

    for (const QColor& colour : {QColor(0xd0, 0x40, 0x90), QColor(0x20, 0x20, 0xf0)}) {
        QPalette palette = part->palette();
        palette.setColor(QPalette::Window, colour);
        part->setPalette(palette);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        for (const QSize size : sizes) {
            const QImage frame = d.screenshot(d.filter(), size);
            EXPECT_TRUE(frame == d.whole(d.filter(), frame))
                << "the display's screenshot at " << size.width();
        }
        EXPECT_TRUE(paneIsWhole()) << "the viewer's pane";
    }
}
