#include "pip/PiPView.h"

#include "capture/FrameSampling.h"
#include "capture/ShareMaskEditor.h"
#include "pip/PiPAppGrid.h"
#include "pip/PiPController.h"
#include "pip/PiPControls.h"
#include "platform/UserDefaults.h"
#include "popover/PauseShareButton.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "shell/kit/ViewEffect.h"
#include "state/WindowManager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kMaskHelp =
    QStringLiteral("Mask areas \u2014 drag boxes over anything your call shouldn't see");

kit::Animation quick(double duration)
{
    return kit::respectingReduceMotion(kit::Animation::standard(duration));
}

// A row of overlay items that keeps its own size at its content's.
QWidget* overlayRow(QWidget* parent, const QString& name, double spacing)
{
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    const int padding = static_cast<int>(PiPView::kOverlayPadding);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(static_cast<int>(spacing));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return row;
}

} // namespace

// The preview of what the audience sees: black with the latest frame fitted inside, or a
// placeholder before the first frame, under the radius-10 corners, with the orange border while
// the share is paused. The status pills and the chrome lie over it.
class PiPView::Preview final : public QWidget
{
public:
    explicit Preview(PiPView& owner)
        : QWidget(&owner)
        , m_owner(owner)
    {
        setObjectName(QStringLiteral("pipPreview"));
        // It paints all of itself: a new frame repaints it without the panel beneath.
        setAttribute(Qt::WA_OpaquePaintEvent);
        auto* layout = new QVBoxLayout(this);
        layout->setSpacing(8);
        layout->addStretch(1);
        m_symbol = new kit::SymbolView(
            QStringLiteral("display"),
            16,
            [] { return kit::SecondaryWhite::symbol(kit::increaseContrast()); },
            kit::FontWeight::light);
        m_symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
        m_caption = new kit::TextLabel(QString(), [] { return kit::monoMutedLabel(8.5); });
        m_caption->setObjectName(QStringLiteral("pipPlaceholder"));
        m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(m_caption, 0, Qt::AlignHCenter);
        layout->addStretch(1);
        m_pausedBorder.setOnChange([this] { update(); });
    }

    // The frame shown changed: repainted only when it is another picture.
    void frameChanged()
    {
        if (shownFrame() != m_frame) {
            sync(std::nullopt);
        }
    }

    void sync(const std::optional<kit::Animation>& animation)
    {
        WindowManager& manager = m_owner.m_windowManager;
        const bool signedIn = manager.isAuthenticated();
        const bool placeholder = !manager.virtualDisplayPreviewImage().has_value();
        m_frame = shownFrame();
        // A new frame arrives twenty times a second: only what changed is touched.
        const QString symbol = signedIn ? QStringLiteral("display") : QStringLiteral("lock");
        const QString caption =
            signedIn ? QStringLiteral("PREPARING PREVIEW") : QStringLiteral("SIGN IN TO START");
        if (m_symbol->name() != symbol) {
            m_symbol->setName(symbol);
        }
        if (m_caption->text() != caption) {
            m_caption->setText(caption);
        }
        if (m_caption->isHidden() == placeholder) {
            m_symbol->setVisible(placeholder);
            m_caption->setVisible(placeholder);
        }
        const double paused = manager.sharePaused() ? 1 : 0;
        if (paused != m_pausedBorder.target()) {
            m_pausedBorder.change(paused, animation);
        }
        update();
    }

    // A double click folds or unfolds the app grid; the second press of the simulated pointer
    // counts as one too.
    void mousePressEvent(QMouseEvent* e) override
    {
        e->accept();
        if (e->button() != Qt::LeftButton) {
            return;
        }
        const double now = platform::Scheduler::current().now();
        const double interval = QApplication::doubleClickInterval() / 1000.0;
        if (m_owner.m_lastPreviewPress && now - *m_owner.m_lastPreviewPress <= interval) {
            m_owner.m_lastPreviewPress.reset();
            m_owner.toggleExpanded();
            return;
        }
        m_owner.m_lastPreviewPress = now;
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        e->accept();
        m_owner.m_lastPreviewPress.reset();
        m_owner.toggleExpanded();
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = rect();
        // Every pixel is painted here (the panel under it never is): black, the frame fitted
        // inside with its own aspect ratio, and the panel's fill laid over the square corners,
        // which costs far less than clipping to the curve. The black goes on the device's pixels
        // the frame leaves, counted as the frame is placed: a pixel between the frame's edge and
        // the next whole point would otherwise stay unpainted and show what lies behind the panel.
        const double scale = painter.deviceTransform().m11();
        QRegion black(QRectF(QPointF(0, 0), bounds.size() * scale).toAlignedRect());
        const auto& image = m_owner.m_windowManager.virtualDisplayPreviewImage();
        if (image && !image->isNull()) {
            const QSizeF fitted = QSizeF(image->size()).scaled(bounds.size(), Qt::KeepAspectRatio);
            const QRectF target(bounds.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
            // At the device's pixels, on whole pixels: written straight into the window where
            // it allows that, else drawn one to one from a copy made once per frame.
            const QRect pixels(qRound(target.x() * scale),
                               qRound(target.y() * scale),
                               qRound(target.width() * scale),
                               qRound(target.height() * scale));
            const int rows = FrameSampling::sourceRowsFor(pixels.height(), scale, kPointsPerSourceRow);
            if (!FrameSampling::paintInPlace(painter, *image, pixels, rows, scale)) {
                painter.drawImage(QPointF(pixels.topLeft()) / scale,
                                  scaledFor(*image, pixels.size(), rows, scale));
            }
            black -= pixels;
        }
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const QRect& part : black) {
            painter.fillRect(QRectF(QPointF(part.topLeft()) / scale, QSizeF(part.size()) / scale), Qt::black);
        }
        painter.restore();
        for (const Corner& corner : corners(bounds, painter.deviceTransform().m11())) {
            painter.drawImage(corner.at, corner.image);
        }
        QColor border = kit::Palette::flameBorder();
        border.setAlphaF(static_cast<float>(border.alphaF() * m_pausedBorder.value()));
        kit::strokeInnerBorder(painter, bounds, kPreviewRadius, border, 1.5);
    }

    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        m_owner.placeContent();
    }

private:
    std::optional<qint64> shownFrame() const
    {
        const auto& image = m_owner.m_windowManager.virtualDisplayPreviewImage();
        return image ? std::optional(image->cacheKey()) : std::nullopt;
    }

    // The frame at the pixel size it is drawn, made once per frame and size.
    const QImage& scaledFor(const QImage& frame, QSize pixels, int rows, double scale)
    {
        if (m_scaled.size() != pixels) {
            m_scaled = QImage(pixels, QImage::Format_RGB32);
            m_scaledFrom = 0;
        }
        if (frame.cacheKey() != m_scaledFrom || m_scaled.devicePixelRatio() != scale) {
            // Into the same memory each time: a frame costs no allocation.
            FrameSampling::scaleInto(frame, m_scaled, rows);
            m_scaled.setDevicePixelRatio(scale);
            m_scaledFrom = frame.cacheKey();
        }
        return m_scaled;
    }

    // What lies outside the rounded corners in the panel's fill, one small picture a corner, made
    // once per size and scale.
    struct Corner
    {
        QPointF at;
        QImage image;
    };
    const QList<Corner>& corners(const QRectF& bounds, double scale)
    {
        if (m_cornersFor != bounds || m_cornerScale != scale) {
            QPainterPath outside;
            outside.addRect(bounds);
            outside = outside.subtracted(kit::continuousRoundedRect(bounds, kPreviewRadius));
            const double side =
                std::ceil(std::min({2 * kPreviewRadius, bounds.width() / 2, bounds.height() / 2}));
            m_corners.clear();
            for (const QPointF& at : {bounds.topLeft(),
                                      QPointF(bounds.right() - side, bounds.top()),
                                      QPointF(bounds.left(), bounds.bottom() - side),
                                      QPointF(bounds.right() - side, bounds.bottom() - side)}) {
                Corner corner{at,
                              QImage(QSize(qCeil(side * scale), qCeil(side * scale)),
                                     QImage::Format_ARGB32_Premultiplied)};
                corner.image.setDevicePixelRatio(scale);
                corner.image.fill(Qt::transparent);
                QPainter p(&corner.image);
                p.setRenderHint(QPainter::Antialiasing);
                p.translate(-at);
                p.fillPath(outside, kit::Palette::surface());
                m_corners.append(std::move(corner));
            }
            m_cornersFor = bounds;
            m_cornerScale = scale;
        }
        return m_corners;
    }

    PiPView& m_owner;
    QList<Corner> m_corners;
    QRectF m_cornersFor;
    double m_cornerScale = 0;
    QImage m_scaled;
    qint64 m_scaledFrom = 0;
    std::optional<qint64> m_frame; // the frame last synced, by its picture
    kit::SymbolView* m_symbol;
    kit::TextLabel* m_caption;
    kit::AnimatedValue m_pausedBorder;
};

PiPView::PiPView(WindowManager& windowManager,
                 PiPController& pip,
                 ShareMaskEditor& maskEditor,
                 QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_pip(pip)
    , m_maskEditor(maskEditor)
{
    setObjectName(QStringLiteral("pipView"));
    m_preview = new Preview(*this);
    buildPreview();
    buildChrome();

    m_gridSection = new QWidget(this);
    m_gridSection->setObjectName(QStringLiteral("pipGridSection"));
    auto* gridLayout = new QVBoxLayout(m_gridSection);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    m_grid = new PiPAppGrid(windowManager);
    gridLayout->addWidget(m_grid);
    kit::Presence& grid = kit::Presence::of(m_gridSection);
    grid.setTransition(
        kit::Transition::move(kit::Edge::Top).combined(kit::Transition::opacity()).fadingUnderReduceMotion());
    grid.setPresent(pip.isExpanded(), std::nullopt);
    connect(m_grid, &PiPAppGrid::contentChanged, this, &PiPView::reportSize);

    m_scale.setOnChange([this] {
        kit::ViewPose pose;
        pose.scale = m_scale.value();
        pose.anchor = scaleAnchor(m_pip.corner());
        kit::ViewEffect::setPose(this, pose);
    });
    m_scale.set(pip.isPresented() || kit::reduceMotion() ? 1.0 : kDismissedScale);
    m_hoverBorder.setOnChange([this] { update(); });

    const auto status = [this] {
        syncStatus();
    };
    connect(&windowManager, &WindowManager::isAuthenticatedChanged, this, status);
    connect(&windowManager, &WindowManager::virtualDisplayPreviewImageChanged, this, [this] {
        m_preview->frameChanged();
    });
    connect(&windowManager, &WindowManager::sharePausedChanged, this, status);
    connect(&windowManager, &WindowManager::detectedShareChanged, this, status);
    connect(&windowManager, &WindowManager::panicModeChanged, this, status);
    connect(&windowManager, &WindowManager::isVirtualDisplayRunningChanged, this, status);
    connect(&windowManager, &WindowManager::hiddenBundleIDsChanged, this, status);
    connect(&windowManager, &WindowManager::hiddenWindowsChanged, this, status);
    connect(&windowManager, &WindowManager::shareMasksChanged, this, status);
    connect(&maskEditor, &ShareMaskEditor::isEditingChanged, this, status);
    connect(&pip, &PiPController::isExpandedChanged, this, &PiPView::syncExpanded);
    connect(&pip, &PiPController::isPresentedChanged, this, &PiPView::syncPresented);
    connect(&pip, &PiPController::cornerChanged, this, &PiPView::syncPresented);

    // The drag works over the whole view, the buttons included.
    qApp->installEventFilter(this);
    sync();
    resize(idealSize());
    reportSize();
}

PiPView::~PiPView()
{
    qApp->removeEventFilter(this);
}

void PiPView::buildPreview()
{
    m_headerPills = overlayRow(m_preview, QStringLiteral("pipHeaderPills"), GlassPill::kSpacing);
    auto* audience = new GlassPill(std::nullopt);
    audience->setObjectName(QStringLiteral("pipAudiencePill"));
    audience->contentLayout()->addWidget(new kit::PulseDot(kit::Palette::blue(), false));
    audience->addText(QStringLiteral("AUDIENCE"));
    m_headerPills->layout()->addWidget(audience);

    m_pausedPill = new GlassPill(kit::Palette::flame());
    m_pausedPill->setObjectName(QStringLiteral("pipPausedPill"));
    m_pausedSymbol = m_pausedPill->addSymbol(QStringLiteral("snowflake"));
    m_pausedText = m_pausedPill->addText(QStringLiteral("FROZEN"));
    m_headerPills->layout()->addWidget(m_pausedPill);

    m_livePill = new GlassPill(kit::Palette::red());
    m_livePill->setObjectName(QStringLiteral("pipLivePill"));
    m_livePill->contentLayout()->addWidget(new kit::PulseDot(kit::Palette::red(), true));
    m_livePill->addText(QStringLiteral("LIVE"));
    m_headerPills->layout()->addWidget(m_livePill);
    for (GlassPill* pill : {m_pausedPill, m_livePill}) {
        kit::Presence::of(pill).setTransition(
            kit::Transition::scale(0.9).combined(kit::Transition::opacity()));
    }

    m_countPills = overlayRow(m_preview, QStringLiteral("pipCountPills"), GlassPill::kSpacing);
    m_hiddenPill = new GlassPill(kit::Palette::flame());
    m_hiddenPill->setObjectName(QStringLiteral("pipHiddenPill"));
    m_hiddenPill->addSymbol(QStringLiteral("eye.slash.fill"));
    m_hiddenText = m_hiddenPill->addText(QString());
    m_countPills->layout()->addWidget(m_hiddenPill);
    m_maskedPill = new GlassPill(kit::Palette::flame());
    m_maskedPill->setObjectName(QStringLiteral("pipMaskedPill"));
    m_maskedPill->addSymbol(QStringLiteral("rectangle.dashed"));
    m_maskedText = m_maskedPill->addText(QString());
    m_countPills->layout()->addWidget(m_maskedPill);
    kit::Presence::of(m_countPills).setTransition(kit::Transition::opacity());
}

void PiPView::buildChrome()
{
    m_chrome = overlayRow(m_preview, QStringLiteral("pipChrome"), 4);
    m_chromePause = new PauseShareButton(m_windowManager, true, m_chrome);
    m_chromePause->setObjectName(QStringLiteral("pipChromePause"));
    m_chrome->layout()->addWidget(m_chromePause);
    m_maskButton =
        new ChromeButton(QStringLiteral("rectangle.dashed"), kMaskHelp, false, [this] { toggleMaskMode(); });
    m_maskButton->setObjectName(QStringLiteral("pipMaskButton"));
    m_chrome->layout()->addWidget(m_maskButton);
    m_expandButton = new ChromeButton(QStringLiteral("rectangle.compress.vertical"),
                                      QStringLiteral("Hide apps"),
                                      false,
                                      [this] { toggleExpanded(); });
    m_expandButton->setObjectName(QStringLiteral("pipExpandButton"));
    m_chrome->layout()->addWidget(m_expandButton);
    auto* open = new ChromeButton(QStringLiteral("slider.horizontal.3"),
                                  QStringLiteral("Open Veilmox"),
                                  false,
                                  [this] { openPopover(); });
    open->setObjectName(QStringLiteral("pipOpenButton"));
    m_chrome->layout()->addWidget(open);
    auto* closeButton = new ChromeButton(
        QStringLiteral("xmark"), QStringLiteral("Close picture-in-picture"), false, [this] { close(); });
    closeButton->setObjectName(QStringLiteral("pipCloseButton"));
    m_chrome->layout()->addWidget(closeButton);
    kit::Presence::of(m_chrome).setTransition(kit::Transition::opacity());

    m_cornerPause = new PauseShareButton(m_windowManager, true, m_preview);
    m_cornerPause->setObjectName(QStringLiteral("pipCornerPause"));
    kit::Presence::of(m_cornerPause).setTransition(kit::Transition::opacity());
}

QPointF PiPView::scaleAnchor(PiPCorner corner)
{
    switch (corner) {
    case PiPCorner::TopLeft:
        return {0, 0};
    case PiPCorner::TopRight:
        return {1, 0};
    case PiPCorner::BottomLeft:
        return {0, 1};
    case PiPCorner::BottomRight:
        return {1, 1};
    }
    return {1, 1};
}

void PiPView::sync()
{
    const bool expanded = m_pip.isExpanded();
    kit::Presence::of(m_chrome).setPresent(m_isHovered, std::nullopt);
    kit::Presence::of(m_gridSection).setPresent(expanded, std::nullopt);
    syncStatus();
}

void PiPView::syncStatus()
{
    // Changes made inside an animation (a tile's click, a hover, the expand toggle) animate with
    // it; the share's state changes along the quick curve.
    const std::optional<kit::Animation> animation = kit::transactionAnimation();
    WindowManager& manager = m_windowManager;
    const bool signedIn = manager.isAuthenticated();
    const bool paused = manager.sharePaused();
    const bool live = manager.detectedShare().has_value();
    const bool expanded = m_pip.isExpanded();
    const int hidden = manager.veiledCount();
    const auto masks = manager.shareMasks().size();
    const bool masking = m_maskEditor.isEditing();
    const kit::Animation shareChange = quick(0.24);

    const bool freeze = manager.panicMode() == WindowManager::PanicMode::Freeze;
    m_pausedSymbol->setName(freeze ? QStringLiteral("snowflake") : QStringLiteral("pause.fill"));
    m_pausedText->setText(freeze ? QStringLiteral("FROZEN") : QStringLiteral("COVERED"));
    const auto present = [](QWidget* view, bool shown, const std::optional<kit::Animation>& a) {
        kit::Presence& presence = kit::Presence::of(view);
        if (presence.isPresent() != shown) {
            presence.setPresent(shown, a);
        }
    };
    present(m_pausedPill, paused, shareChange);
    present(m_livePill, !paused && live, shareChange);
    m_preview->sync(shareChange);

    m_chromePause->setVisible(signedIn && manager.isVirtualDisplayRunning());
    m_maskButton->setVisible(signedIn);
    m_maskButton->setLook(masking ? QStringLiteral("checkmark") : QStringLiteral("rectangle.dashed"),
                          masking ? QStringLiteral("Done masking") : kMaskHelp,
                          masking);
    m_expandButton->setLook(expanded ? QStringLiteral("rectangle.compress.vertical")
                                     : QStringLiteral("rectangle.expand.vertical"),
                            expanded ? QStringLiteral("Hide apps") : QStringLiteral("Show apps"),
                            false);
    present(m_cornerPause, paused && !m_isHovered, animation ? animation : std::optional(shareChange));

    m_hiddenPill->setVisible(hidden >= 1);
    m_hiddenText->setText(QStringLiteral("%1 HIDDEN").arg(hidden));
    m_maskedPill->setVisible(masks >= 1);
    m_maskedText->setText(QStringLiteral("%1 MASKED").arg(masks));
    present(m_countPills, !expanded && (hidden >= 1 || masks >= 1), animation);
    placeContent();
}

void PiPView::syncExpanded()
{
    const kit::Animation spring = kit::respectingReduceMotion(kit::layoutSpring());
    kit::withAnimation(spring, [this] {
        kit::Presence::of(m_gridSection).setPresent(m_pip.isExpanded());
        syncStatus();
    });
    reportSize();
}

void PiPView::syncPresented()
{
    const double target = m_pip.isPresented() || kit::reduceMotion() ? 1.0 : kDismissedScale;
    if (target != m_scale.target()) {
        m_scale.change(target, kit::transactionAnimation());
    } else {
        // The corner changed: grow from the new one.
        m_scale.set(m_scale.value());
    }
}

void PiPView::setHovered(bool hovered)
{
    if (hovered == m_isHovered) {
        return;
    }
    kit::withAnimation(quick(kHoverDuration), [this, hovered] {
        m_isHovered = hovered;
        m_hoverBorder.change(hovered ? 1 : 0, kit::transactionAnimation());
        kit::Presence::of(m_chrome).setPresent(hovered);
        syncStatus();
    });
}

double PiPView::currentBorderOpacity() const
{
    return kBorderOpacity + (kHoveredBorderOpacity - kBorderOpacity) * m_hoverBorder.value();
}

void PiPView::toggleExpanded()
{
    const bool expanded = !m_pip.isExpanded();
    m_pip.setIsExpanded(expanded);
    if (platform::UserDefaults* defaults = m_pip.services().defaults) {
        defaults->setObject(expanded, PiPController::expandedKey);
    }
}

void PiPView::toggleMaskMode()
{
    if (m_maskEditor.isEditing()) {
        m_maskEditor.close();
    } else {
        m_windowManager.openShareMaskEditor();
    }
}

void PiPView::openPopover()
{
    if (AppDelegateInterface* shell = m_windowManager.appDelegate()) {
        shell->showPopover();
    }
}

void PiPView::close()
{
    m_pip.setOpenedBySharing(false);
    m_pip.hide();
}

QSize PiPView::idealSize() const
{
    const bool expanded = m_pip.isExpanded();
    const double w = layoutWidth(expanded);
    const double inner = w - 2 * kPadding;
    double h = 2 * kPadding + previewHeight(w);
    if (expanded) {
        h += m_grid->heightForWidth(static_cast<int>(inner));
    }
    return {static_cast<int>(w), static_cast<int>(std::ceil(h))};
}

void PiPView::reportSize()
{
    const QSize ideal = idealSize();
    if (ideal == m_reportedSize) {
        return;
    }
    m_reportedSize = ideal;
    updateGeometry();
    m_pip.contentSizeChanged(QSizeF(ideal));
}

void PiPView::placeContent()
{
    const double inner = width() - 2 * kPadding;
    const QRect previewRect(static_cast<int>(kPadding),
                            static_cast<int>(kPadding),
                            static_cast<int>(std::round(inner)),
                            static_cast<int>(std::round(inner / kPreviewAspect)));
    if (m_preview->geometry() != previewRect) {
        m_preview->setGeometry(previewRect);
    }
    m_gridSection->setGeometry(previewRect.left(),
                               previewRect.bottom() + 1,
                               previewRect.width(),
                               m_grid->heightForWidth(previewRect.width()));

    const QSize preview = m_preview->size();
    for (QWidget* row : {m_headerPills, m_chrome, m_countPills}) {
        row->adjustSize();
    }
    m_headerPills->move(0, 0);
    m_chrome->move(preview.width() - m_chrome->width(), 0);
    m_countPills->move(0, preview.height() - m_countPills->height());
    const int inset = static_cast<int>(kOverlayPadding);
    m_cornerPause->move(preview.width() - inset - m_cornerPause->width(),
                        preview.height() - inset - m_cornerPause->height());
}

void PiPView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placeContent();
}

void PiPView::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.fillPath(kit::continuousRoundedRect(bounds, kCornerRadius), kit::Palette::surface());
    kit::strokeInnerBorder(painter, bounds, kCornerRadius, kit::white(currentBorderOpacity()));
}

bool PiPView::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Enter:
        setHovered(true);
        break;
    case QEvent::Leave:
        setHovered(false);
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

bool PiPView::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
    case QEvent::Resize:
        // An overlay row took the size of new content: keep it at its corner.
        if (watched == m_chrome || watched == m_countPills) {
            placeContent();
        }
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        break;
    default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || (widget != this && !isAncestorOf(widget))) {
        return false;
    }
    const bool wasDragging = m_dragging;
    handleMouse(watched, e);
    // Once the panel follows the mouse, the pressed control sees neither the moves nor the
    // release, so a drag that began on a button never clicks it.
    return (wasDragging || m_dragging) && e->type() != QEvent::MouseButtonPress
           && watched == m_pressed.data();
}

void PiPView::handleMouse(QObject* watched, QEvent* e)
{
    const auto* mouse = static_cast<QMouseEvent*>(e);
    const QPointF at = mouse->globalPosition();
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The same press reaches the parents of a child that ignores it: only the first counts.
        if (mouse->button() != Qt::LeftButton || m_pressAt) {
            return;
        }
        m_pressAt = at;
        m_dragging = false;
        m_pressed = qobject_cast<QWidget*>(watched);
        return;
    case QEvent::MouseMove:
        if (!m_pressAt || !(mouse->buttons() & Qt::LeftButton)) {
            return;
        }
        if (!m_dragging && QLineF(*m_pressAt, at).length() >= kDragMinimumDistance) {
            m_dragging = true;
            m_lastPreviewPress.reset();
            if (auto* button = qobject_cast<QAbstractButton*>(m_pressed.data())) {
                button->setDown(false);
            }
        }
        if (m_dragging) {
            m_pip.dragChanged();
        }
        return;
    case QEvent::MouseButtonRelease: {
        if (!m_pressAt || mouse->button() != Qt::LeftButton) {
            return;
        }
        const bool dragged = m_dragging;
        m_pressAt.reset();
        m_dragging = false;
        if (dragged) {
            m_pip.dragEnded();
        }
        return;
    }
    default:
        return;
    }
}
