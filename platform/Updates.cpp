#include "platform/Updates.h"

#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/EventMonitor.h"
#include "platform/Services.h"
#include "platform/Window.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace platform {

namespace {
Q_LOGGING_CATEGORY(lcUpdates, "veilmox.updates")

constexpr QSizeF kAlertSize(420, 150);
// Below the title bar's buttons, which lie over the content.
constexpr int kTitlebarHeight = 28;
// A feed's reason for failing is shown, never trusted to be short.
constexpr qsizetype kMaxFailureLength = 300;

// The alert's content: a heading, a message and one button that dismisses it, as Return and
// Escape do. Texts are plain: what a feed says is never read as markup.
class AlertView final : public QWidget
{
public:
    explicit AlertView(std::function<void()> dismiss)
        : m_dismiss(std::move(dismiss))
    {
        setFocusPolicy(Qt::StrongFocus);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(20, kTitlebarHeight, 20, 16);
        layout->setSpacing(6);
        m_heading = label(QStringLiteral("updateAlertHeading"), 14, QFont::DemiBold);
        m_message = label(QStringLiteral("updateAlertMessage"), 12, QFont::Normal);
        layout->addWidget(m_heading);
        layout->addWidget(m_message);
        layout->addStretch(1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("updateAlertButton"));
        ok->setDefault(true);
        ok->setFocusPolicy(Qt::NoFocus);
        QObject::connect(ok, &QPushButton::clicked, this, [this] { m_dismiss(); });
        buttons->addWidget(ok);
        layout->addLayout(buttons);
    }

    // The alert's size is its window's: asking the window for a minimum would reach the host's
    // window system, which never shows it.
    QSize minimumSizeHint() const override { return {0, 0}; }

    void setTexts(const QString& heading, const QString& message)
    {
        m_heading->setText(heading);
        m_message->setText(message);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            m_dismiss();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
        }
    }

private:
    QLabel* label(const QString& name, int pixelSize, QFont::Weight weight)
    {
        auto* text = new QLabel(this);
        text->setObjectName(name);
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        QFont font = text->font();
        font.setPixelSize(pixelSize);
        font.setWeight(weight);
        text->setFont(font);
        return text;
    }

    std::function<void()> m_dismiss;
    QLabel* m_heading = nullptr;
    QLabel* m_message = nullptr;
};

// Tells the framework that its alert is closing, however it was closed.
class AlertClosing final : public WindowDelegate
{
public:
    explicit AlertClosing(std::function<void()> closing)
        : m_closing(std::move(closing))
    {}
    void windowWillClose() override { m_closing(); }

private:
    std::function<void()> m_closing;
};

int comparePart(const QString& a, const QString& b)
{
    bool aNumber = false;
    bool bNumber = false;
    const qulonglong x = a.toULongLong(&aNumber);
    const qulonglong y = b.toULongLong(&bNumber);
    if (aNumber && bNumber) {
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int order = QString::compare(a, b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

int compareVersions(const QString& a, const QString& b)
{
    const QStringList left = a.trimmed().split(QLatin1Char('.'));
    const QStringList right = b.trimmed().split(QLatin1Char('.'));
    const qsizetype parts = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < parts; ++i) {
        const QString x = i < left.size() ? left.at(i) : QStringLiteral("0");
        const QString y = i < right.size() ? right.at(i) : QStringLiteral("0");
        if (const int order = comparePart(x, y); order != 0) {
            return order;
        }
    }
    return 0;
}

class UpdateFrameworkStandIn::Controller final : public StandardUpdaterController
{
public:
    Controller(UpdateFrameworkStandIn& framework, bool started)
        : m_framework(framework)
        , m_started(started)
    {}

    bool updaterStarted() const override { return m_started; }
    void checkForUpdates() override { m_framework.check(true); }
    void checkForUpdatesInBackground() override { m_framework.check(false); }

private:
    UpdateFrameworkStandIn& m_framework;
    bool m_started;
};

UpdateFrameworkStandIn::UpdateFrameworkStandIn(UpdateSource* source)
    : m_source(source)
    , m_self(std::make_shared<UpdateFrameworkStandIn*>(this))
{}

UpdateFrameworkStandIn::~UpdateFrameworkStandIn()
{
    *m_self = nullptr;
    stopWatchingAlertKeys();
}

std::unique_ptr<StandardUpdaterController>
UpdateFrameworkStandIn::makeStandardUpdaterController(bool startingUpdater)
{
    ++m_controllersMade;
    return std::make_unique<Controller>(*this, startingUpdater);
}

void UpdateFrameworkStandIn::check(bool userInitiated)
{
    ++m_checks;
    if (!userInitiated) {
        ++m_backgroundChecks;
    }
    if (m_source == nullptr) {
        answer(userInitiated, {});
        return;
    }
    std::weak_ptr<UpdateFrameworkStandIn*> self = m_self;
    m_source->fetchNewestVersion([self, userInitiated](const UpdateSourceAnswer& answer) {
        if (const auto framework = self.lock(); framework && *framework != nullptr) {
            (*framework)->answer(userInitiated, answer);
        }
    });
}

void UpdateFrameworkStandIn::answer(bool userInitiated, const UpdateSourceAnswer& answer)
{
    const Bundle& bundle =
        Services::current().bundle != nullptr ? *Services::current().bundle : Bundle::main();
    const QString name = bundle.stringForInfoDictionaryKey(QStringLiteral("CFBundleName"))
                             .value_or(QStringLiteral("This application"));
    const QString version =
        bundle.stringForInfoDictionaryKey(kBundleShortVersionStringKey).value_or(QStringLiteral("1.0.0"));

    QString heading;
    QString message;
    if (m_source == nullptr) {
        heading = kCouldNotCheckHeading;
        message = kNoUpdateSourceReport;
    } else if (!answer.newestVersion) {
        heading = kCouldNotCheckHeading;
        message = answer.failure.isEmpty() ? QStringLiteral("The update source could not be read.")
                                           : QStringLiteral("The update source could not be read: %1")
                                                 .arg(answer.failure.left(kMaxFailureLength));
    } else if (compareVersions(*answer.newestVersion, version) > 0) {
        heading = kUpdateAvailableHeading;
        message = QStringLiteral("%1 %2 is available; you have %3. Updates come with the package: update it "
                                 "where you installed it from.")
                      .arg(name, answer.newestVersion->left(kMaxFailureLength), version);
    } else {
        heading = kUpToDateHeading;
        message = QStringLiteral("%1 %2 is the newest version available.").arg(name, version);
    }
    m_reports.append(message);
    qCInfo(lcUpdates).noquote() << (userInitiated ? message : QStringLiteral("Background check: ") + message);
    if (userInitiated) {
        showAlert(heading, message);
    }
}

void UpdateFrameworkStandIn::showAlert(const QString& heading, const QString& message)
{
    const Services& services = Services::current();
    if (!m_alert) {
        auto alert = std::make_unique<Window>(services,
                                              QRectF(QPointF(0, 0), kAlertSize),
                                              kWindowStyleMaskTitled | kWindowStyleMaskClosable,
                                              BackingStoreType::Buffered,
                                              false);
        alert->setTitle(QStringLiteral("Software Update"));
        alert->setReleasedWhenClosed(false);
        alert->setLevel(kFloatingWindowLevel);
        Window* window = alert.get();
        alert->setContentView(new AlertView([window] { window->close(); }));
        m_alertClosing = std::make_unique<AlertClosing>([this] { stopWatchingAlertKeys(); });
        alert->setDelegate(m_alertClosing.get());
        m_alert = std::move(alert);
    }
    watchAlertKeys();
    static_cast<AlertView*>(m_alert->contentView())->setTexts(heading, message);
    m_alert->center();
    if (services.application != nullptr) {
        services.application->activate(true);
    }
    m_alert->makeKeyAndOrderFront();
}

void UpdateFrameworkStandIn::watchAlertKeys()
{
    if (m_alertKeys) {
        return;
    }
    m_alertKeys =
        EventMonitor::addLocalMonitorForKeyDown([this](const KeyEvent& key) -> std::optional<KeyEvent> {
            if ((key.keyCode != keycode::kReturn && key.keyCode != keycode::kEscape) || !m_alert
                || !m_alert->isVisible()) {
                return key;
            }
            m_alert->close();
            return std::nullopt;
        });
}

void UpdateFrameworkStandIn::stopWatchingAlertKeys()
{
    if (m_alertKeys) {
        EventMonitor::removeMonitor(*std::exchange(m_alertKeys, std::nullopt));
    }
}

QString UpdateFrameworkStandIn::alertText(const Window& alert, const QString& part)
{
    if (alert.contentView() == nullptr) {
        return {};
    }
    if (const auto* label = alert.contentView()->findChild<QLabel*>(part)) {
        return label->text();
    }
    if (const auto* button = alert.contentView()->findChild<QPushButton*>(part)) {
        return button->text();
    }
    return {};
}

} // namespace platform
