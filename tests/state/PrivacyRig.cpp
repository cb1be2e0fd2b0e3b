#include "tests/state/PrivacyRig.h"

#include <algorithm>

namespace testing_support {

namespace {

constexpr int kTagRed = 0xF0;

} // namespace

PrivacyRig::PrivacyRig()
{
    t.desktop.removeDisplay(t.mainDisplay);
    platform::sim::SimDesktop::DisplaySpec setup;
    setup.frame = kDisplay;
    setup.backingScale = kScale;
    t.mainDisplay = t.desktop.addDisplay(setup);
    QObject::connect(manager.get(),
                     &WindowManager::virtualDisplayPreviewImageChanged,
                     manager.get(),
                     [this](const std::optional<QImage>& image) {
                         if (image) {
                             inspect(*image);
                         }
                     });
}

PrivacyRig::~PrivacyRig() = default;

WindowManager& PrivacyRig::startSharing()
{
    WindowManager& m = start();
    m.startVirtualDisplay();
    run(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    return m;
}

QRgb PrivacyRig::nextColour()
{
    const int n = m_coloursUsed++;
    return qRgb(kTagRed, 0x10 + n % 0xE0, 0x10 + 8 * (n / 0xE0));
}

platform::pid_type PrivacyRig::launch(const QString& bundleID)
{
    return t.desktop.launchApp(bundleID, bundleID.section(QLatin1Char('.'), -1));
}

quint32 PrivacyRig::addWindow(platform::pid_type owner, const QRectF& bounds, const QList<QRectF>& patches)
{
    platform::sim::SimDesktop::WindowSpec setup;
    setup.owner = owner;
    setup.bounds = bounds;
    setup.color = QColor::fromRgb(nextColour());
    QList<QRgb> colours{setup.color.rgb()};
    for (const QRectF& patch : patches) {
        const QRgb colour = nextColour();
        setup.patches.append({patch, QColor::fromRgb(colour)});
        colours.append(colour);
    }
    const quint32 number = t.desktop.addWindow(setup);
    const QString bundleID = t.desktop.runningApplication(owner)->bundleIdentifier().value_or(QString());
    m_sources.insert(colours.front(), Source{number, bundleID, std::nullopt});
    for (qsizetype i = 0; i < patches.size(); ++i) {
        m_sources.insert(colours[i + 1], Source{number, bundleID, patches[i]});
    }
    m_coloursByWindow.insert(number, colours);
    return number;
}

platform::Window& PrivacyRig::addOwnWindow(const QRectF& frame, bool shown)
{
    const QRgb colour = nextColour();
    auto window = std::make_unique<platform::Window>(t.services(),
                                                     frame,
                                                     platform::kWindowStyleMaskBorderless,
                                                     platform::BackingStoreType::Buffered,
                                                     false);
    window->setContentView(new Swatch(QColor::fromRgb(colour)));
    window->setFrame(frame, true);
    window->setLevel(platform::kFloatingWindowLevel);
    if (shown) {
        window->orderFrontRegardless();
    }
    m_sources.insert(colour, Source{});
    m_ownWindows.push_back(std::move(window));
    return *m_ownWindows.back();
}

QRgb PrivacyRig::colour(quint32 window, qsizetype patch) const
{
    return m_coloursByWindow.value(window).value(patch + 1);
}

void PrivacyRig::runToMidCapture(Await point, double delay)
{
    setDelays(point == Await::Content ? delay : 0, point == Await::Screenshot ? delay : 0);
    const auto requests = [this, point] {
        return point == Await::Content ? t.screenCapture.contentRequestCount()
                                       : t.screenCapture.screenshotCount();
    };
    const int before = requests();
    for (int step = 0; step < 1000 && requests() == before; ++step) {
        run(0.001);
    }
    ASSERT_NE(requests(), before) << "no capture started";
    run(delay / 2);
}

bool PrivacyRig::isHiddenNow(const Source& source) const
{
    if (source.window == 0) {
        return true;
    }
    if (manager->hiddenBundleIDs().contains(source.bundleID)
        || manager->hiddenWindows().contains(source.window)) {
        return true;
    }
    if (!source.patch) {
        return false;
    }
    const QList<ShareMask>& masks = manager->shareMasks();
    return std::any_of(masks.cbegin(), masks.cend(), [&source](const ShareMask& mask) {
        return mask.windowID == source.window && mask.rect.contains(*source.patch);
    });
}

void PrivacyRig::inspect(const QImage& picture)
{
    deliveries.push_back(t.scheduler.now());
    lastPicture = picture;
    QHash<QRgb, const Source*> hidden;
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it) {
        if (isHiddenNow(it.value())) {
            hidden.insert(it.key(), &it.value());
        }
    }
    if (hidden.isEmpty()) {
        return;
    }
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(line[x]) != kTagRed) {
                continue;
            }
            if (const Source* source = hidden.value(line[x] | 0xFF000000U)) {
                leaks << QStringLiteral("at %1 s: %2 %3%4 at pixel (%5, %6)")
                             .arg(t.scheduler.now(), 0, 'f', 3)
                             .arg(source->window == 0 ? QStringLiteral("own window")
                                                      : QStringLiteral("window"))
                             .arg(source->window)
                             .arg(source->patch ? QStringLiteral(" (masked patch)") : QString())
                             .arg(x)
                             .arg(y);
                return;
            }
        }
    }
}

double PrivacyRig::firstDeliveryAfter(double time) const
{
    const auto it = std::upper_bound(deliveries.cbegin(), deliveries.cend(), time);
    return it != deliveries.cend() ? *it : -1;
}

bool PrivacyRig::shows(QPointF point, QRgb colour) const
{
    const QPoint pixel((point * kScale).toPoint());
    return lastPicture.valid(pixel) && lastPicture.pixel(pixel) == (colour | 0xFF000000U);
}

} // namespace testing_support
