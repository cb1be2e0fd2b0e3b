#include "tests/support/TestDesktop.h"

#include "platform/Scheduler.h"

namespace testing_support {

namespace {
class RecordingPlayer final : public platform::AudioPlayer
{
public:
    explicit RecordingPlayer(std::shared_ptr<RecordingAudioOutput::Record> record)
        : m_record(std::move(record))
    {}
    void setVolume(double volume) override { m_record->volume = volume; }
    bool prepareToPlay() override
    {
        ++m_record->prepares;
        return true;
    }
    void setCurrentTime(double seconds) override { m_record->times.append(seconds); }
    bool play() override
    {
        ++m_record->plays;
        return true;
    }
    bool isPlaying() const override { return m_record->plays > 0; }

private:
    std::shared_ptr<RecordingAudioOutput::Record> m_record;
};
} // namespace

std::unique_ptr<platform::AudioPlayer> RecordingAudioOutput::makePlayer(const QByteArray& fileData)
{
    if (refuses) {
        return nullptr;
    }
    auto record = std::make_shared<Record>();
    record->data = fileData;
    players.push_back(record);
    return std::make_unique<RecordingPlayer>(record);
}

TestDesktop::TestDesktop()
    : bundle(QVariantMap{{platform::kBundleIdentifierKey, QStringLiteral("getveilmox.Veilmox")},
                         {platform::kBundleShortVersionStringKey, QStringLiteral("1.0.0")},
                         {platform::kBundleVersionKey, QStringLiteral("1")}})
    , virtualDisplays(desktop, scheduler)
    , screenCapture(desktop, scheduler)
    , captureStreams(desktop, scheduler)
{
    mainDisplay = desktop.addDisplay();
    desktop.setHotKeySystem(&hotKeys);
    platform::Scheduler::setCurrent(&scheduler);
}

TestDesktop::~TestDesktop()
{
    platform::Scheduler::setCurrent(nullptr);
}

platform::Services TestDesktop::services()
{
    platform::Services s;
    s.defaults = &defaults;
    s.scheduler = &scheduler;
    s.workspace = &desktop;
    s.screens = &desktop;
    s.windowServer = &desktop;
    s.hotKeys = &hotKeys;
    s.bundle = &bundle;
    s.keychain = &keychain;
    s.urlSession = &urlSession;
    s.accessibility = &accessibility;
    s.virtualDisplays = &virtualDisplays;
    s.screenCapture = &screenCapture;
    s.appWindows = &desktop;
    s.mainAppService = &loginItems;
    s.processes = &processes;
    s.application = &desktop;
    s.events = &desktop;
    s.statusBar = &statusBar;
    s.updates = &updates;
    s.audio = &audio;
    s.captureStreams = &captureStreams;
    s.mainQueue = &mainQueue;
    s.fileManager = &desktop;
    s.beep = &desktop;
    return s;
}

std::pair<platform::pid_type, quint32>
TestDesktop::launchAppWithWindow(const QString& bundleID, const QString& name, const QRectF& bounds)
{
    const auto pid = desktop.launchApp(bundleID, name);
    return {pid, desktop.addWindow(pid, name, bounds)};
}

} // namespace testing_support
