#include "popover/PreviewCard.h"

#include "capture/FrameSampling.h"
#include "capture/ImageView.h"
#include "pip/PiPController.h"
#include "popover/MenuBarView.h"
#include "popover/PauseShareButton.h"
#include "popover/RowStyle.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// A chip over the live frame, its capsule, border, symbol and caption drawn once into an image
// and copied in afterwards: the chip is repainted with every frame beneath it, twenty times a
// second, and an anti-aliased shape costs far more to fill than to copy.
class ChipLook
{
public:
    struct Content
    {
        QString symbol; // none for no symbol
        double symbolSize = 0;
        kit::FontWeight symbolWeight = kit::FontWeight::regular;
        double viewWidth = 0; // room kept before the caption for a view of the chip's own
        QString caption;
        QColor foreground;
        QColor border;
    };

    explicit ChipLook(Content content)
        : m_content(std::move(content))
    {}

    // Room for the symbol and the caption, 8 points in from the sides and 5 from top and bottom.
    QSize size(const QPaintDevice* device) const
    {
        const QFontMetricsF metrics(look().font(device));
        double width = 16 + metrics.horizontalAdvance(m_content.caption);
        if (!m_content.symbol.isEmpty()) {
            width += kit::symbolSide(m_content.symbolSize) + 5;
        }
        if (m_content.viewWidth > 0) {
            width += m_content.viewWidth + 5;
        }
        return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(metrics.height() + 10))};
    }

    void paint(QPainter& painter, const QRectF& rect)
    {
        const double scale = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
        const bool solid = kit::reduceTransparency();
        const QSize pixels = (rect.size() * scale).toSize();
        if (m_image.size() != pixels || m_image.devicePixelRatio() != scale || m_solid != solid) {
            m_solid = solid;
            m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            m_image.setDevicePixelRatio(scale);
            m_image.fill(Qt::transparent);
            QPainter p(&m_image);
            draw(p, QRectF(QPointF(), rect.size()), solid);
        }
        painter.drawImage(rect.topLeft(), m_image);
    }

private:
    kit::TextLook look() const { return RowStyle::monoMedium(8.5, m_content.foreground); }

    void draw(QPainter& p, const QRectF& box, bool solid) const
    {
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        kit::ChipBackgroundStyle::paint(p, box, solid);
        kit::strokeInnerBorder(p, box, kit::capsuleRadius(box), m_content.border);
        double x = box.left() + 8;
        if (!m_content.symbol.isEmpty()) {
            const double side = kit::symbolSide(m_content.symbolSize);
            kit::paintSymbol(p,
                             m_content.symbol,
                             QPointF(x + side / 2, box.center().y()),
                             m_content.symbolSize,
                             m_content.foreground,
                             m_content.symbolWeight);
            x += side + 5;
        }
        if (m_content.viewWidth > 0) {
            x += m_content.viewWidth + 5;
        }
        if (!m_content.caption.isEmpty()) {
            const kit::TextLook text = look();
            p.setFont(text.font(p.device()));
            p.setPen(text.color);
            p.drawText(QRectF(x, box.top(), box.right() - x, box.height()),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       m_content.caption);
        }
    }

    Content m_content;
    QImage m_image;
    bool m_solid = false;
};

// The "LIVE" chip: a pulsing red dot and the caption on the chip fill, with a red border. The dot
// is a view of its own (it pulses); the rest is the chip's cached look.
class LiveChip final : public QWidget
{
public:
    LiveChip()
        : m_look({{},
                  0,
                  kit::FontWeight::regular,
                  kit::PulseDotStyle::kDiameter,
                  QStringLiteral("LIVE"),
                  Qt::white,
                  kit::rgb(0xFF5F56, 0.35)})
    {
        setObjectName(QStringLiteral("liveChip"));
        setAccessibleName(QStringLiteral("LIVE"));
        setFixedSize(m_look.size(this));
        const int dot = static_cast<int>(kit::PulseDotStyle::kDiameter);
        auto* pulse = new kit::PulseDot(kit::Palette::red(), true, this);
        pulse->setGeometry(8, (height() - dot) / 2, dot, dot);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        m_look.paint(painter, QRectF(rect()));
    }

private:
    ChipLook m_look;
};

} // namespace

// The frame's part of the card as an opaque view over it, painted as the card paints there: a
// new frame repaints only this view, never the page beneath nor the card's rounded corners.
class PreviewCard::Picture final : public QWidget
{
public:
    explicit Picture(PreviewCard* card)
        : QWidget(card)
        , m_card(card)
    {
        setObjectName(QStringLiteral("previewPicture"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter painter(this);
        painter.translate(-QPointF(pos()));
        m_card->paintContent(painter, e->region().translated(pos()));
    }

private:
    PreviewCard* m_card;
};

PreviewCardState PreviewCardState::make(
    bool hasImage, bool displayRunning, bool sharePaused, bool shareDetected, bool pipVisible)
{
    PreviewCardState s;
    s.showsImage = hasImage;
    s.showsPauseButton = displayRunning;
    s.showsPauseBorder = sharePaused;
    s.showsPopOut = !pipVisible;
    s.showsLive = shareDetected && !sharePaused;
    return s;
}

PreviewCard::PreviewCard(WindowManager& windowManager, PiPController& pip, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_pip(pip)
{
    setObjectName(QStringLiteral("previewCard"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    // First, so every overlay lies above it.
    m_picture = new Picture(this);
    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(QStringLiteral("previewPlaceholder"));
    auto* column = new QVBoxLayout(m_placeholder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addStretch(1);
    column->addWidget(
        new kit::SymbolView(
            QStringLiteral("display"), 18, [] { return RowStyle::faint(); }, kit::FontWeight::light),
        0,
        Qt::AlignHCenter);
    column->addWidget(
        new kit::TextLabel(QStringLiteral("PREPARING PREVIEW"), [] { return kit::monoMutedLabel(9); }),
        0,
        Qt::AlignHCenter);
    column->addStretch(1);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_pause = new PauseShareButton(windowManager, false, this);

    auto look = std::make_shared<ChipLook>(ChipLook::Content{QStringLiteral("pip.enter"),
                                                             9,
                                                             kit::FontWeight::semibold,
                                                             0,
                                                             QStringLiteral("POP OUT"),
                                                             kit::white(0.92),
                                                             kit::white(0.14)});
    m_popOut = new kit::PressFeedbackButton(
        [look](QPainter& painter, const QRectF& rect) { look->paint(painter, rect); },
        look->size(this),
        this);
    m_popOut->setObjectName(QStringLiteral("popOutButton"));
    m_popOut->setAccessibleName(QStringLiteral("POP OUT"));
    kit::TooltipSource::attach(m_popOut,
                               QStringLiteral("Float this preview in a window that's never shared"));
    connect(m_popOut, &QAbstractButton::clicked, this, [this] {
        MenuBarView::popOutPreview(m_windowManager, m_pip);
    });

    m_live = new LiveChip;
    m_live->setParent(this);
    m_live->hide();
    kit::Presence::of(m_live).setTransition(kit::Transition::scale(0.9).combined(kit::Transition::opacity()));

    connect(
        &windowManager, &WindowManager::virtualDisplayPreviewImageChanged, this, &PreviewCard::frameChanged);
    connect(&windowManager, &WindowManager::isVirtualDisplayRunningChanged, this, &PreviewCard::sync);
    connect(&windowManager, &WindowManager::sharePausedChanged, this, &PreviewCard::sync);
    connect(&windowManager, &WindowManager::detectedShareChanged, this, &PreviewCard::sync);
    connect(&pip, &PiPController::isVisibleChanged, this, &PreviewCard::sync);
    m_image = windowManager.virtualDisplayPreviewImage();
    placePicture();
    sync();
}

QSize PreviewCard::sizeHint() const
{
    return {326, static_cast<int>(kHeight)};
}

QSize PreviewCard::minimumSizeHint() const
{
    return {0, static_cast<int>(kHeight)};
}

QRectF PreviewCard::imageRect() const
{
    if (!m_image || m_image->isNull()) {
        return {};
    }
    return ImageView::imageRect(m_image->size(), size(), ImageView::ImageScaling::ProportionallyUpOrDown);
}

void PreviewCard::frameChanged(const std::optional<QImage>& image)
{
    // The same picture again changes nothing on screen.
    if (image.has_value() == m_image.has_value() && (!image || image->cacheKey() == m_image->cacheKey())) {
        return;
    }
    const QRectF before = imageRect();
    m_image = image;
    const QRectF after = imageRect();
    if (after != before) {
        placePicture();
        update(before.toAlignedRect().united(after.toAlignedRect()));
    } else if (!after.isEmpty()) {
        // Only the picture's own pixels change from one frame to the next: its opaque view, and
        // the card's rounded corners where the picture reaches them (kept out of the view).
        m_picture->update();
        if (const QRegion shown = m_picture->mask(); !shown.isEmpty()) {
            update(QRegion(m_picture->geometry()) - shown.translated(m_picture->pos()));
        }
    }
    if (m_state.showsImage != (m_image && !m_image->isNull())) {
        sync();
    }
}

int PreviewCard::sourceRowsFor(int pixelRows, double devicePixelRatio)
{
    return FrameSampling::sourceRowsFor(pixelRows, devicePixelRatio, kPointsPerSourceRow);
}

void PreviewCard::scaleInto(const QImage& frame, QImage& into, int sourceRows)
{
    FrameSampling::scaleInto(frame, into, sourceRows);
}

void PreviewCard::sync()
{
    const PreviewCardState next = PreviewCardState::make(m_image && !m_image->isNull(),
                                                         m_windowManager.isVirtualDisplayRunning(),
                                                         m_windowManager.sharePaused(),
                                                         m_windowManager.detectedShare().has_value(),
                                                         m_pip.isVisible());
    const PreviewCardState before = m_state;
    const bool first = !m_synced;
    const bool detected = m_windowManager.detectedShare().has_value();
    const bool detectionChanged = !first && detected != m_shareDetected;
    m_state = next;
    m_shareDetected = detected;
    m_synced = true;
    m_placeholder->setVisible(!next.showsImage);
    m_picture->setVisible(next.showsImage);
    m_pause->setVisible(next.showsPauseButton);
    m_popOut->setVisible(next.showsPopOut);
    if (first || next.showsLive != before.showsLive) {
        // The card animates only a share being detected or ending; a pause or a resume moves
        // the chip as its own change does (at once, unless it is animated itself).
        std::optional<kit::Animation> animation;
        if (detectionChanged) {
            animation = RowStyle::hiddenAnimation();
        } else if (!first) {
            animation = kit::transactionAnimation();
        }
        kit::Presence::of(m_live).setPresent(next.showsLive, animation);
    }
    if (first || next.showsPauseBorder != before.showsPauseBorder) {
        update();
    }
    placeOverlays();
}

void PreviewCard::resizeEvent(QResizeEvent* /*e*/)
{
    placeOverlays();
    placePicture();
}

void PreviewCard::placePicture()
{
    // Every point the picture touches, less the card's rounded corners where it reaches them.
    m_picture->setGeometry(imageRect().toAlignedRect().intersected(rect()));
    QRegion area(m_picture->geometry());
    const int r = static_cast<int>(std::ceil(kCornerRadius));
    QRegion corners;
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(width() - r, 0), QPoint(0, height() - r), QPoint(width() - r, height() - r)}) {
        corners += QRect(corner, QSize(r, r));
    }
    // A mask clips every paint of the view to a region, which Qt fills span by span; it is set
    // only for a picture wide or tall enough to reach the corners.
    if (area.intersects(corners)) {
        m_picture->setMask((area - corners).translated(-m_picture->pos()));
    } else {
        m_picture->clearMask();
    }
}

void PreviewCard::placeOverlays()
{
    m_placeholder->setGeometry(rect());
    const QSize pause = m_pause->sizeHint();
    m_pause->setGeometry(
        QRect(QPoint(static_cast<int>(kInset), height() - static_cast<int>(kInset) - pause.height()), pause));
    const QSize popOut = m_popOut->sizeHint();
    m_popOut->setGeometry(QRect(QPoint(width() - static_cast<int>(kInset) - popOut.width(),
                                       height() - static_cast<int>(kInset) - popOut.height()),
                                popOut));
    const QSize live = m_live->sizeHint();
    m_live->setGeometry(
        QRect(QPoint(width() - static_cast<int>(kInset) - live.width(), static_cast<int>(kInset)), live));
}

void PreviewCard::paintEvent(QPaintEvent* e)
{
    QPainter painter(this);
    paintContent(painter, e->region());
}

void PreviewCard::paintContent(QPainter& painter, const QRegion& dirty)
{
    const QRectF card(rect());
    const QRectF target = imageRect();
    // Only where a rounded corner is repainted does the card need its shape's clip; a frame in
    // the middle of the card is a plain scaled copy.
    const double r = kCornerRadius;
    const QPointF corners[] = {card.topLeft(), card.topRight(), card.bottomLeft(), card.bottomRight()};
    const bool cornered = std::any_of(std::begin(corners), std::end(corners), [&](QPointF corner) {
        return dirty.intersects(QRectF(corner - QPointF(r, r), QSizeF(2 * r, 2 * r)).toAlignedRect());
    });
    if (cornered) {
        // Antialiased only here: Qt hands even thin antialiased fills to its thread pool.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(kit::continuousRoundedRect(card, r));
    }
    // The bars beside or above and below the frame, then the frame itself.
    QRegion bars(card.toAlignedRect());
    if (!target.isEmpty()) {
        bars -= target.toAlignedRect().adjusted(1, 1, -1, -1);
    }
    for (const QRect& bar : bars.intersected(dirty)) {
        painter.fillRect(bar, kit::Palette::surface());
    }
    paintFrame(painter, dirty);
    painter.setClipping(false);
    for (const QRect& part : dirty) {
        paintBorders(painter, part);
    }
}

QRect PreviewCard::pixelRect() const
{
    const QRectF target = imageRect();
    const double dpr = devicePixelRatioF();
    return {qRound(target.x() * dpr),
            qRound(target.y() * dpr),
            qRound(target.width() * dpr),
            qRound(target.height() * dpr)};
}

const QImage& PreviewCard::scaledFrame(QRect& pixels)
{
    const double dpr = devicePixelRatioF();
    pixels = pixelRect();
    if (m_scaled.size() != pixels.size()) {
        m_scaled = QImage(pixels.size(), QImage::Format_RGB32);
        m_scaledKey = 0;
    }
    if (m_image && m_scaledKey != m_image->cacheKey()) {
        // Into the same buffer each time: a frame costs no allocation.
        scaleInto(*m_image, m_scaled, sourceRowsFor(pixels.height(), dpr));
        m_scaled.setDevicePixelRatio(dpr);
        m_scaledKey = m_image->cacheKey();
    }
    return m_scaled;
}

bool PreviewCard::paintFrameInPlace(QPainter& painter)
{
    // Straight into the window's pixels when they allow it: the frame's samples are then written
    // once, where they are shown, with no copy between. Anything else takes the copy.
    if (!m_image) {
        return false;
    }
    const QRect pixels = pixelRect();
    const double dpr = devicePixelRatioF();
    return FrameSampling::paintInPlace(painter, *m_image, pixels, sourceRowsFor(pixels.height(), dpr), dpr);
}

void PreviewCard::paintFrame(QPainter& painter, const QRegion& dirty)
{
    const QRectF target = imageRect();
    if (target.isEmpty() || !dirty.intersects(target.toAlignedRect()) || paintFrameInPlace(painter)) {
        return;
    }
    // Drawn one to one from a copy at the card's own pixels, made once per frame.
    QRect pixels;
    const QImage& scaled = scaledFrame(pixels);
    const double dpr = devicePixelRatioF();
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (dirty.rectCount() == 1) {
        painter.drawImage(QPointF(pixels.topLeft()) / dpr, scaled);
    } else {
        // Part by part: clipped to several rectangles, Qt would fill the whole copy span by span.
        for (const QRect& part : dirty) {
            const QRectF shown = target.intersected(part);
            if (!shown.isEmpty()) {
                painter.drawImage(
                    shown,
                    scaled,
                    QRectF(shown.topLeft() * dpr - QPointF(pixels.topLeft()), shown.size() * dpr));
            }
        }
    }
    painter.restore();
}

void PreviewCard::paintBorders(QPainter& painter, const QRectF& dirty)
{
    // The borders, drawn once into an image, are copied in where the repaint reaches the edges.
    const QRectF card(rect());
    const double band = 2;
    const QRectF bands[] = {QRectF(card.left(), card.top(), card.width(), band),
                            QRectF(card.left(), card.bottom() - band, card.width(), band),
                            QRectF(card.left(), card.top(), band, card.height()),
                            QRectF(card.right() - band, card.top(), band, card.height())};
    const QImage& borders = bordersImage();
    const double scale = borders.devicePixelRatio();
    for (const QRectF& edge : bands) {
        const QRectF part = edge.intersected(dirty.adjusted(-1, -1, 1, 1));
        if (!part.isEmpty()) {
            painter.drawImage(part, borders, QRectF(part.topLeft() * scale, part.size() * scale));
        }
    }
}

const QImage& PreviewCard::bordersImage()
{
    const double scale = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * scale).toSize();
    const bool paused = m_state.showsPauseBorder;
    if (m_borders.size() != pixels || m_borders.devicePixelRatio() != scale || m_bordersPaused != paused) {
        m_bordersPaused = paused;
        m_borders = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_borders.setDevicePixelRatio(scale);
        m_borders.fill(Qt::transparent);
        QPainter p(&m_borders);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF card{QPointF(), QSizeF(size())};
        if (paused) {
            kit::strokeInnerBorder(p, card, kCornerRadius, kit::Palette::flameBorder(), 1.5);
        }
        kit::strokeInnerBorder(p, card, kCornerRadius, kit::Palette::hairline());
    }
    return m_borders;
}
