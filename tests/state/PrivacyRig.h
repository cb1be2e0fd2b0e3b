#pragma once

#include "capture/VirtualDisplayManager.h"
#include "platform/Window.h"
#include "tests/state/StateFixture.h"
#include "tests/support/Swatch.h"

#include <QHash>
#include <QImage>

#include <memory>
#include <vector>

namespace testing_support {

// The state object, signed in, with the virtual display mirroring one small display on which
// every window, every patch of a window and every window of the program has a colour of its own
// (red 0xF0, found nowhere else). Each picture the audience is shown is searched, as it arrives,
// for the colours of what is hidden at that moment: windows of hidden apps, hidden windows,
// patches under a mask, and the program's own windows.
struct PrivacyRig : StateFixture
{
    // Where a capture is waiting when a test acts.
    enum class Await
    {
        Content,
        Screenshot
    };

    static constexpr QRectF kDisplay{0, 0, 320, 200};
    static constexpr double kScale = 2.0;

    PrivacyRig();
    ~PrivacyRig();
    PrivacyRig(const PrivacyRig&) = delete;
    PrivacyRig& operator=(const PrivacyRig&) = delete;

    // Starts the state object signed in and the virtual display, and lets it show pictures.
    WindowManager& startSharing();
    VirtualDisplayManager& display() const { return *manager->virtualDisplayManager(); }

    platform::pid_type launch(const QString& bundleID);
    // A window of its own colour, with patches (window-relative) of their own colours.
    quint32 addWindow(platform::pid_type owner, const QRectF& bounds, const QList<QRectF>& patches = {});
    // One of the program's own windows, with the default sharing type; ordered in when `shown`.
    platform::Window& addOwnWindow(const QRectF& frame, bool shown);
    // The colour of a window, or of one of its patches.
    QRgb colour(quint32 window, qsizetype patch = -1) const;

    // Both answers of every capture take these many seconds from now on.
    void setDelays(double content, double screenshot)
    {
        t.screenCapture.setResponseDelays(content, screenshot);
    }
    // Lets the capture at `point` take `delay` (the other answer none), then runs until the next
    // capture is half-way through that wait.
    void runToMidCapture(Await point, double delay = 0.02);
    void run(double seconds) { t.scheduler.advance(seconds); }

    // What the audience has been shown since the rig began, and when.
    std::vector<double> deliveries;
    int delivered() const { return static_cast<int>(deliveries.size()); }
    // The first picture shown after that time; none yet: -1.
    double firstDeliveryAfter(double time) const;
    QImage lastPicture;
    // Each picture that held a hidden pixel: when, and whose.
    QStringList leaks;

    // The picture holds the colour at this point (in points).
    bool shows(QPointF point, QRgb colour) const;

private:
    struct Source
    {
        quint32 window = 0; // 0: one of the program's own windows
        QString bundleID;
        std::optional<QRectF> patch;
    };

    void inspect(const QImage& picture);
    bool isHiddenNow(const Source& source) const;
    QRgb nextColour();

    QHash<QRgb, Source> m_sources;
    QHash<quint32, QList<QRgb>> m_coloursByWindow;
    std::vector<std::unique_ptr<platform::Window>> m_ownWindows;
    int m_coloursUsed = 0;
};

} // namespace testing_support
