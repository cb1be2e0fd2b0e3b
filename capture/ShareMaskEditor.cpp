#include "capture/ShareMaskEditor.h"

#include "capture/ShareMaskEditorGeometry.h"
#include "capture/ShareMaskEditorPanel.h"
#include "capture/ShareMaskEditorView.h"
#include "capture/ShareMaskStore.h"
#include "capture/ShareMasks.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <QPointer>
#include <QSet>

#include <algorithm>

namespace {

// Can join all spaces, ignores the window cycle, may sit beside a full-screen app.
constexpr std::uint64_t kPanelCollectionBehavior = platform::kWindowCollectionBehaviorCanJoinAllSpaces
                                                   | platform::kWindowCollectionBehaviorIgnoresCycle
                                                   | platform::kWindowCollectionBehaviorFullScreenAuxiliary;

} // namespace

ShareMaskEditor::ShareMaskEditor(const platform::Services& services, ShareMaskStore* store, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_store(store)
{}

ShareMaskEditor::~ShareMaskEditor()
{
    close();
}

ShareMaskEditor& ShareMaskEditor::shared()
{
    // Lives until the process ends.
    static auto* instance = new ShareMaskEditor(platform::Services::current());
    return *instance;
}

void ShareMaskEditor::open(quint32 displayID)
{
    if (m_services.screens == nullptr || m_services.windowServer == nullptr) {
        return;
    }
    std::optional<platform::Screen> screen;
    for (const platform::Screen& candidate : m_services.screens->screens()) {
        if (candidate.displayID() == displayID) {
            screen = candidate;
            break;
        }
    }
    if (!screen) {
        return;
    }
    // At most one editor panel exists.
    close();

    m_displayBounds = m_services.windowServer->displayBounds(displayID);
    setNotice(std::nullopt);
    reloadPlaced();

    auto panel = std::make_shared<ShareMaskEditorPanel>(m_services,
                                                        screen->frame,
                                                        platform::kWindowStyleMaskBorderless,
                                                        platform::BackingStoreType::Buffered,
                                                        false);
    panel->setLevel(kPanelLevel);
    panel->setOpaque(false);
    panel->setBackgroundColor(Qt::transparent);
    panel->setHasShadow(false);
    // No capture ever contains the editor, neither a meeting app's nor the virtual display's.
    panel->setSharingType(platform::WindowSharingType::None);
    panel->setCollectionBehavior(kPanelCollectionBehavior);
    panel->setContentView(new ShareMaskEditorView(*this));
    panel->setFrame(screen->frame, true);
    activateApplication();
    panel->makeKeyAndOrderFront();
    m_panel = std::move(panel);
    setIsEditing(true);

    QPointer<ShareMaskEditor> self(this);
    m_keyMonitor = platform::EventMonitor::addLocalMonitorForKeyDown(
        [self](const platform::KeyEvent& event) -> std::optional<platform::KeyEvent> {
            if (self.isNull()) {
                return event;
            }
            return self->handleKey(event);
        });
}

void ShareMaskEditor::close()
{
    if (m_keyMonitor) {
        platform::EventMonitor::removeMonitor(*m_keyMonitor);
        m_keyMonitor.reset();
    }
    m_noticeDismiss.cancel();
    if (m_panel) {
        m_panel->close();
        // The close may come from inside the panel ("Done", Escape on its view): its widgets
        // are released on a later turn, once that event is over.
        std::shared_ptr<ShareMaskEditorPanel> closed = std::move(m_panel);
        if (m_services.scheduler != nullptr) {
            m_services.scheduler->post(nullptr, [closed] {});
        }
    }
    setIsEditing(false);
}

void ShareMaskEditor::reloadPlaced()
{
    QList<PlacedMask> placed;
    if (m_store != nullptr && m_services.windowServer != nullptr) {
        const QList<ShareMask>& masks = m_store->shareMasks();
        QSet<quint32> windowIDs;
        for (const ShareMask& mask : masks) {
            windowIDs.insert(mask.windowID);
        }
        const auto frames = ShareMasks::windowFrames(*m_services.windowServer, windowIDs);
        for (const ShareMask& mask : masks) {
            const auto frame = frames.constFind(mask.windowID);
            if (frame == frames.cend()) {
                continue;
            }
            if (const auto onScreen = mask.screenRect(*frame)) {
                placed.append(PlacedMask{mask.id, screenToEditor(*onScreen, m_displayBounds)});
            }
        }
    }
    setPlaced(placed);
}

void ShareMaskEditor::addMask(const QRectF& rect)
{
    if (!ShareMaskEditorGeometry::isLargeEnough(rect)) {
        return;
    }
    if (m_store == nullptr || m_services.windowServer == nullptr || m_services.workspace == nullptr) {
        return;
    }
    const QUuid id = QUuid::createUuid();
    const QRectF screenRect = editorToScreen(rect, m_displayBounds);
    const auto window =
        ShareMasks::windowUnder(*m_services.windowServer, *m_services.workspace, screenRect.center());
    if (!window) {
        showNotice(drawOverWindowNotice);
        return;
    }
    m_store->addShareMask(
        ShareMask::attach(id, screenRect, window->windowID, window->bundleID, window->frame));
    reloadPlaced();
}

void ShareMaskEditor::updateMask(const QUuid& id, const QRectF& rect)
{
    if (m_store == nullptr || m_services.windowServer == nullptr || m_services.workspace == nullptr) {
        return;
    }
    const QList<ShareMask>& masks = m_store->shareMasks();
    const auto stored =
        std::find_if(masks.cbegin(), masks.cend(), [&id](const ShareMask& mask) { return mask.id == id; });
    if (stored == masks.cend()) {
        return;
    }
    // Kept apart from the list, which storing the update replaces.
    const QUuid maskID = stored->id;
    const quint32 ownWindow = stored->windowID;
    const QString ownBundleID = stored->bundleID;
    if (ShareMaskEditorGeometry::isLargeEnough(rect)) {
        const QRectF screenRect = editorToScreen(rect, m_displayBounds);
        const QPointF center = screenRect.center();
        std::optional<ShareMasks::WindowUnderPoint> window;
        // A mask whose centre stays over its own window stays on it, even where another
        // window now lies in front.
        const auto own = ShareMasks::windowFrames(*m_services.windowServer, {ownWindow});
        if (const auto frame = own.constFind(ownWindow);
            frame != own.cend() && platform::rectContainsPoint(*frame, center)) {
            window = ShareMasks::WindowUnderPoint{ownWindow, ownBundleID, *frame};
        } else {
            window = ShareMasks::windowUnder(*m_services.windowServer, *m_services.workspace, center);
        }
        if (window) {
            m_store->updateShareMask(
                ShareMask::attach(maskID, screenRect, window->windowID, window->bundleID, window->frame));
        } else {
            showNotice(keepOverWindowNotice);
        }
    }
    // A rejected move or resize springs back to the stored geometry; an accepted one shows its
    // clipped result.
    reloadPlaced();
}

void ShareMaskEditor::showNotice(const QString& text)
{
    setNotice(text);
    m_noticeDismiss.cancel();
    if (m_services.scheduler != nullptr) {
        m_noticeDismiss = m_services.scheduler->after(kNoticeDuration, [this] { setNotice(std::nullopt); });
    }
}

std::optional<platform::KeyEvent> ShareMaskEditor::handleKey(const platform::KeyEvent& event)
{
    if (event.keyCode == platform::keycode::kEscape) {
        close();
        return std::nullopt;
    }
    return event;
}

void ShareMaskEditor::setPlaced(const QList<PlacedMask>& value)
{
    if (value != m_placed) {
        m_placed = value;
        emit placedChanged(m_placed);
    }
}

void ShareMaskEditor::setNotice(const std::optional<QString>& value)
{
    if (value != m_notice) {
        m_notice = value;
        emit noticeChanged(m_notice);
    }
}

void ShareMaskEditor::setIsEditing(bool value)
{
    if (value != m_isEditing) {
        m_isEditing = value;
        emit isEditingChanged(m_isEditing);
    }
}

void ShareMaskEditor::activateApplication() const
{
    if (m_services.workspace == nullptr) {
        return;
    }
    if (const auto own =
            m_services.workspace->runningApplication(m_services.workspace->currentProcessIdentifier())) {
        own->activate();
    }
}
