#include "onboarding/OnboardingStepDemo.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/mocks/PersonaPreviewWindow.h"
#include "onboarding/mocks/PresentationSlideWindow.h"
#include "platform/Scheduler.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

using namespace mock;
using kit::FontWeight;

namespace {

constexpr double kRowBottom = 12;

// `content` as wide as offered up to `maxWidth`, centred (it keeps its height for that width).
QWidget* centred(QWidget* content, int maxWidth)
{
    auto* frame = new QWidget;
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    content->setMaximumWidth(maxWidth);
    content->setSizePolicy(QSizePolicy::Expanding, content->sizePolicy().verticalPolicy());
    row->addStretch(1);
    row->addWidget(content, 1000);
    row->addStretch(1);
    return frame;
}

} // namespace

// The hide button: a capsule that reads "Hide" or, flame-tinted, "Veiled", ringed with a glowing
// hint until the user has tried it once.
class DemoHideButton final : public kit::PressFeedbackButton
{
public:
    DemoHideButton(std::function<bool()> isVeiled, std::function<bool()> hasTried)
        : m_isVeiled(std::move(isVeiled))
        , m_hasTried(std::move(hasTried))
    {
        setObjectName(QStringLiteral("demo.veil"));
        setFixedHeight(32);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(14, 0, 14, 0);
        row->setSpacing(6);
        m_symbol = new kit::SymbolView(QStringLiteral("shield"), 12, [this] {
            return m_isVeiled() ? OBTokens::flame() : OBTokens::textTertiary();
        });
        m_text = new kit::TextView(
            QStringLiteral("Hide"),
            [this] {
                return textLook(OBFont::geist(FontWeight::semibold, 12),
                                m_isVeiled() ? OBTokens::flameSoft() : OBTokens::textPrimary());
            },
            kit::TextOptions{0, kit::TextAlignment::Leading, 1});
        row->addWidget(m_symbol, 0, Qt::AlignVCenter);
        row->addWidget(m_text, 0, Qt::AlignVCenter);
        sync();
    }

    void sync()
    {
        const bool veiled = m_isVeiled();
        m_symbol->setName(veiled ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("shield"));
        m_text->setText(veiled ? QStringLiteral("Veiled") : QStringLiteral("Hide"));
        setAccessibleName(veiled ? QStringLiteral("Hidden from the share. Click to show it again.")
                                 : QStringLiteral("Visible in the share. Click to hide it."));
        lookChanged();
        update();
    }

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override
    {
        const bool veiled = m_isVeiled();
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath capsule = kit::capsule(rect);
        painter.fillPath(capsule, veiled ? OBTokens::flameWash() : OBTokens::surfaceRaised());
        kit::strokeInnerBorder(painter,
                               rect,
                               kit::capsuleRadius(rect),
                               veiled ? mockwindow::faded(OBTokens::flame(), 0.35)
                                      : OBTokens::hairlineStrong());
        if (!m_hasTried()) {
            // The hint ring: a 1-point flame line inside the edge with a soft glow of its own.
            const QPainterPath ring = capsule.subtracted(kit::capsule(rect.adjusted(1, 1, -1, -1)));
            kit::drawShadow(painter, ring, hintGlow());
            painter.fillPath(ring, mockwindow::faded(OBTokens::flame(), 0.6));
        }
    }

    QMarginsF overflow() const override { return hintGlow().reach(); }
    // The whole capsule takes the click, and only the capsule.
    bool hitButton(const QPoint& pos) const override
    {
        return kit::capsule(QRectF(rect())).contains(QPointF(pos));
    }

private:
    static kit::Shadow hintGlow() { return {mockwindow::faded(OBTokens::flame(), 0.35), 9, QPointF()}; }

    std::function<bool()> m_isVeiled;
    std::function<bool()> m_hasTried;
    kit::SymbolView* m_symbol = nullptr;
    kit::TextView* m_text = nullptr;
};

// One of the two mock monitors: its label on top, then the slide and the private window in the
// order the pin says, clipped to the monitor's rounded screen and outlined by a 1-point line
// centred on its edge (the outer half is the monitor row's to draw, beyond the monitor). The
// window rests in the bottom-trailing corner; on the user's own monitor it can be dragged from
// there.
class DemoMonitorPane final : public QWidget
{
public:
    DemoMonitorPane(OnboardingStepDemo& step, bool audience)
        : m_step(step)
        , m_audience(audience)
        , m_slide(PresentationSlideWindow().item())
    {
        setObjectName(audience ? QStringLiteral("demo.audience") : QStringLiteral("demo.yourScreen"));
        auto* header = new QHBoxLayout;
        header->setSpacing(6);
        m_dot = StatusDot{StatusDotKind::Live}.view();
        header->addWidget(m_dot, 0, Qt::AlignVCenter);
        m_label =
            new kit::TextView(audience ? QString() : QStringLiteral("Your screen"),
                              textLook(OBFont::geist(FontWeight::semibold, 11), OBTokens::textPrimary()),
                              kit::TextOptions{0, kit::TextAlignment::Leading, 1});
        header->addWidget(m_label, audience ? 1 : 0, Qt::AlignVCenter);
        if (!audience) {
            header->addStretch(1);
            header->addWidget(
                new kit::TextView(QStringLiteral("Drag to move"),
                                  textLook(OBFont::mono(FontWeight::regular, 9), OBTokens::textMuted())),
                0,
                Qt::AlignVCenter);
        }
        auto* layers = new QVBoxLayout(this);
        layers->setContentsMargins(14, 14, 14, 14);
        layers->setSpacing(6);
        layers->addLayout(header);
        layers->addStretch(1);
        m_front = new Layers(*this);
        m_front->setAttribute(Qt::WA_TransparentForMouseEvents, audience);
    }

    void setStack(const Item& stack)
    {
        m_stack = stack;
        ++m_stackVersion;
        m_front->update();
    }

    void sync(bool veiled)
    {
        if (!m_audience) {
            return;
        }
        auto* dot = static_cast<kit::PulseDot*>(m_dot);
        const StatusDotKind kind = veiled ? StatusDotKind::Sunset : StatusDotKind::Rose;
        dot->setColor(StatusDotLook::color(kind));
        dot->setPulses(StatusDotLook::pulses(kind));
        if (dot->pulses() && isVisible() && !dot->isPulsing()) {
            dot->startPulse();
        }
        m_label->setText(veiled ? QStringLiteral("Audience sees the presentation only")
                                : QStringLiteral("Audience sees your private window"));
        const QColor border = veiled ? OBTokens::selectedBorder() : mockwindow::faded(OBTokens::rose(), 0.45);
        if (border != m_border) {
            m_border = border;
            if (parentWidget() != nullptr) {
                parentWidget()->update(); // the outline's outer half
            }
        }
        m_front->update();
    }

    QColor outline() const { return m_audience ? m_border : OBTokens::hairline(); }
    // The half of the outline that lies outside the monitor, in the parent's coordinates.
    void paintOuterOutline(QPainter& painter) const
    {
        // Its shape is made once for the monitor's place: cutting a stroke by the screen costs
        // more than filling it, and a pulse inside repaints it many times a second.
        if (m_outerOutline.first != geometry()) {
            const QPainterPath screen = kit::continuousRoundedRect(QRectF(geometry()), kCorner);
            QPainterPathStroker stroker;
            stroker.setWidth(kOutline);
            m_outerOutline = {geometry(), stroker.createStroke(screen).subtracted(screen)};
        }
        // A repaint elsewhere, or inside the monitor (its pulsing dot), does not touch it.
        if (painter.hasClipping()) {
            const QRectF clip = painter.clipBoundingRect();
            if (!QRectF(geometry()).adjusted(-1, -1, 1, 1).intersects(clip)
                || wellInside(clip.translated(-pos()))) {
                return;
            }
        }
        painter.fillPath(m_outerOutline.second, outline());
    }

    // Whether the rectangle (the pane's coordinates) lies inside the screen at least a point from
    // its rounded edge, where every pixel of the screen is covered whole and its outline's
    // antialiasing does not reach.
    bool wellInside(const QRectF& area) const
    {
        if (m_inside.first != size()) {
            m_inside = {size(),
                        kit::continuousRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), kCorner - 1)};
        }
        return m_inside.second.contains(area);
    }

    static constexpr double kCorner = 16;
    static constexpr double kOutline = 1;

    void layersChanged() { m_front->update(); }

    // Where the private window is drawn now, in the pane's coordinates.
    QRectF windowRect() const
    {
        const double width = m_step.m_input.windowWidth;
        const double height = m_stack.sizeThatFits({width, std::nullopt}).height();
        const QRectF rest(
            this->width() - trailing() - width, this->height() - kRowBottom - height, width, height);
        const DemoWindowLook look = windowLook();
        const QPointF offset = m_step.displayedOffset() + QPointF(0, look.sink);
        const QPointF centre = rest.center();
        const QSizeF scaled = rest.size() * look.scale;
        return {centre + offset - QPointF(scaled.width(), scaled.height()) / 2, scaled};
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        const QRectF screen(rect());
        // Away from the rounded edge every pixel is covered whole, so a plain fill there gives the
        // same pixels as the shape's, for less: a pulse inside repaints here many times a second.
        const QRect repainted = event->region().boundingRect();
        if (wellInside(repainted)) {
            painter.fillRect(repainted, OBTokens::surface());
            return;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(kit::continuousRoundedRect(screen, kCorner), OBTokens::surface());
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_front->setGeometry(rect());
    }

private:
    // The slide and window layers over the label, with the outline on top; it takes the drag.
    class Layers final : public QWidget
    {
    public:
        explicit Layers(DemoMonitorPane& pane)
            : QWidget(&pane)
            , m_pane(pane)
        {
            setObjectName(QStringLiteral("demo.layers"));
        }

    protected:
        void paintEvent(QPaintEvent* event) override
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            // Qt's own clip, told to the picture, which then leaves out what lies outside it.
            painter.setClipRegion(event->region());
            m_pane.picture().draw(painter, QRectF(rect()), Qt::AlignLeft | Qt::AlignTop);
        }

        void mousePressEvent(QMouseEvent* event) override
        {
            const QPointF at = event->position();
            if (event->button() != Qt::LeftButton || !m_pane.grabsWindowAt(at)) {
                event->ignore();
                return;
            }
            m_pressedAt = at;
            m_velocity.reset();
            m_velocity.add(platform::Scheduler::current().now(), at);
        }

        void mouseMoveEvent(QMouseEvent* event) override
        {
            if (!m_pressedAt) {
                return;
            }
            const QPointF at = event->position();
            m_velocity.add(platform::Scheduler::current().now(), at);
            const QPointF translation = at - *m_pressedAt;
            if (m_pane.m_step.isDragging()
                || std::hypot(translation.x(), translation.y()) >= DemoDrag::kMinimumDistance) {
                m_pane.m_step.dragChanged(translation);
            }
        }

        void mouseReleaseEvent(QMouseEvent* event) override
        {
            if (!m_pressedAt || event->button() != Qt::LeftButton) {
                return;
            }
            m_pressedAt.reset();
            m_velocity.add(platform::Scheduler::current().now(), event->position());
            if (m_pane.m_step.isDragging()) {
                m_pane.m_step.dragEnded(m_velocity.predictedEndLocation(), m_velocity.location());
            }
        }

    private:
        DemoMonitorPane& m_pane;
        std::optional<QPointF> m_pressedAt;
        DragVelocity m_velocity;
    };

    double trailing() const { return m_audience ? 14 : 12; }
    DemoWindowLook windowLook() const
    {
        return m_audience ? m_step.audienceWindowLook() : m_step.ownWindowLook();
    }

    // The picture as the step has it now. It is made anew only when something it shows changed,
    // so what it keeps drawn (the window's shadow, the clipped screen) is drawn again only then.
    const Item& picture() const
    {
        const PictureInputs inputs{windowLook(),
                                   m_step.displayedOffset(),
                                   m_step.m_input.isPinned(),
                                   size(),
                                   outline(),
                                   m_stackVersion};
        if (!m_picture || inputs != m_pictureInputs) {
            m_picture = makePicture();
            m_pictureInputs = inputs;
        }
        return *m_picture;
    }

    Item makePicture() const
    {
        const DemoWindowLook look = windowLook();
        const QPointF offset = m_step.displayedOffset();
        const Item window =
            m_stack.frame(m_step.m_input.windowWidth, std::nullopt, Qt::AlignLeft | Qt::AlignTop)
                .opacity(look.opacity)
                .blur(look.blur)
                .scale(look.scale)
                .offset(offset.x(), offset.y() + look.sink)
                .fillSize(Qt::AlignRight | Qt::AlignBottom)
                .padding(QMarginsF(0, 0, trailing(), kRowBottom));
        const Item slide = vstack(Qt::AlignHCenter, 0, {Item().frame(std::nullopt, 30), m_slide, spacer()})
                               .padding(14, 0)
                               .fillSize(Qt::AlignLeft | Qt::AlignTop);
        const bool pinned = m_step.m_input.isPinned();
        const Shape screen = Shape::rounded(kCorner);
        return zstack(Qt::AlignLeft | Qt::AlignTop,
                      pinned ? QList<Item>{slide, window} : QList<Item>{window, slide})
            .frame(width(), height())
            .clip(screen)
            .border(outline(), screen, kOutline / 2, true);
    }

    // A press starts a drag only on the window, and not where the slide lies over it.
    bool grabsWindowAt(QPointF at) const
    {
        if (m_audience || !windowRect().contains(at)) {
            return false;
        }
        if (m_step.m_input.isPinned()) {
            return true;
        }
        const double slideHeight = m_slide.sizeThatFits({width() - 28.0, std::nullopt}).height();
        return !QRectF(14, 30, width() - 28.0, slideHeight).contains(at);
    }

    // What the picture shows.
    struct PictureInputs
    {
        DemoWindowLook look;
        QPointF offset;
        bool pinned = false;
        QSize size;
        QColor outline;
        int stack = 0;

        bool operator==(const PictureInputs&) const = default;
    };

    OnboardingStepDemo& m_step;
    bool m_audience;
    Item m_slide;
    Item m_stack;
    int m_stackVersion = 0;
    mutable std::optional<Item> m_picture;
    mutable PictureInputs m_pictureInputs;
    mutable std::pair<QRect, QPainterPath> m_outerOutline;
    mutable std::pair<QSize, QPainterPath> m_inside;
    QWidget* m_dot = nullptr;
    kit::TextView* m_label = nullptr;
    QColor m_border = OBTokens::hairline();
    Layers* m_front = nullptr;
};

namespace {

// The two monitors side by side, 14 apart, sharing the width, with the arrow badge between them.
// It draws the outer halves of the monitors' outlines around them, at the row's two ends too
// (the onboarding leaves each step's page room for them).
class MonitorRow final
    : public QWidget
    , public kit::SelfPainted
{
public:
    MonitorRow(DemoMonitorPane* own, DemoMonitorPane* audience, std::function<void(double)> paneWidthChanged)
        : m_own(own)
        , m_audience(audience)
        , m_paneWidthChanged(std::move(paneWidthChanged))
    {
        hostLook(this);
        setObjectName(QStringLiteral("demo.monitors"));
        setFixedHeight(static_cast<int>(DemoDrag::kPaneHeight));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        own->setParent(this);
        audience->setParent(this);
        m_badge = new MockPicture(
            zstack(Qt::AlignCenter,
                   {fill(Shape::circle(), OBTokens::surface()),
                    stroke(Shape::circle(), OBTokens::hairline()),
                    symbol(QStringLiteral("arrow.right"), 12, OBTokens::textPrimary(), FontWeight::bold)})
                .frame(28, 28),
            this);
        m_badge->setObjectName(QStringLiteral("demo.arrow"));
        m_badge->raise();
    }

    void paintLook(QPainter& painter) override
    {
        painter.setRenderHint(QPainter::Antialiasing);
        m_own->paintOuterOutline(painter);
        m_audience->paintOuterOutline(painter);
    }
    QMarginsF lookOverflow() const override
    {
        const double half = DemoMonitorPane::kOutline / 2;
        return {half, half, half, half};
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        const double pane = DemoDrag::paneWidth(width());
        const int left = static_cast<int>(std::floor(pane));
        m_own->setGeometry(0, 0, left, height());
        const int second = left + static_cast<int>(DemoDrag::kPaneSpacing);
        m_audience->setGeometry(second, 0, width() - second, height());
        m_badge->setGeometry(
            QRect(QPoint(), m_badge->sizeHint()).translated((width() - 28) / 2, (height() - 28) / 2));
        m_paneWidthChanged(pane);
    }

    void paintEvent(QPaintEvent* /*event*/) override { paintLookIfUnhosted(this); }

private:
    DemoMonitorPane* m_own;
    DemoMonitorPane* m_audience;
    MockPicture* m_badge = nullptr;
    std::function<void(double)> m_paneWidthChanged;
};

} // namespace

DemoWindowLook DemoWindowLook::of(bool hidden, bool isPinned, double transparency)
{
    if (hidden) {
        return {0, 12, 0.75, 16};
    }
    return {OnboardingDraft::clampedTransparency(transparency) / 100, 0, isPinned ? 1.02 : 1.0, 0};
}

DemoWindowLook DemoWindowLook::mix(const DemoWindowLook& from, const DemoWindowLook& to, double t)
{
    const auto lerp = [t](double a, double b) {
        return a + (b - a) * t;
    };
    return {lerp(from.opacity, to.opacity),
            lerp(from.blur, to.blur),
            lerp(from.scale, to.scale),
            lerp(from.sink, to.sink)};
}

QList<RevealVariant> OnboardingStepDemo::revealVariants(const QString& persona,
                                                        const QSet<HideCategory>& selected)
{
    const bool remote = persona == QLatin1String("remote");
    QList<RevealVariant> variants;
    for (const HideCategory category : HideCategory::allCases()) {
        if (!selected.contains(category)) {
            continue;
        }
        RevealVariant variant = RevealVariant::Search;
        if (!remote) {
            switch (category) {
            case HideCategory::WorkChat:
                variant = RevealVariant::Workchat;
                break;
            case HideCategory::Finance:
                variant = RevealVariant::Banking;
                break;
            case HideCategory::Files:
                variant = RevealVariant::Files;
                break;
            case HideCategory::Personal:
                variant = RevealVariant::Messages;
                break;
            }
        }
        if (!variants.contains(variant)) {
            variants.append(variant);
        }
    }
    if (variants.isEmpty()) {
        variants.append(remote ? RevealVariant::Search : RevealVariant::Workchat);
    }
    return variants;
}

DemoWindowLabels OnboardingStepDemo::windowLabels(const QSet<HideCategory>& selected)
{
    // A set has no order of its own; the categories' order keeps the labels the same run to run.
    for (const HideCategory category : HideCategory::allCases()) {
        if (!selected.contains(category)) {
            continue;
        }
        switch (category) {
        case HideCategory::WorkChat:
            break;
        case HideCategory::Finance:
            return {QStringLiteral("Banking & financial accounts"),
                    QStringLiteral("Online banking •••• 4821")};
        case HideCategory::Files:
            return {QStringLiteral("Desktop & sensitive files"), QStringLiteral("Downloads · private docs")};
        case HideCategory::Personal:
            return {QStringLiteral("Personal messages & private chats"), QStringLiteral("Family texts, DMs")};
        }
        break;
    }
    return {QStringLiteral("Work & team chat"), QStringLiteral("#leadership-confidential")};
}

OnboardingStepDemo::OnboardingStepDemo(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
    , m_lastVeiled(m_input.isVeiled())
{
    setObjectName(QStringLiteral("demoStep"));
    m_veil.set(m_lastVeiled ? 1 : 0);
    const auto repaint = [this] {
        offsetMoved();
    };
    m_shownX.setOnChange(repaint);
    m_shownY.setOnChange(repaint);
    m_veil.setOnChange(repaint);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);
    page->addStretch(1);
    page->addWidget(makeHeadline());
    page->addWidget(makeControls());
    page->addWidget(makeMonitors());
    page->addStretch(1);

    sync();
    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
}

QWidget* OnboardingStepDemo::makeHeadline()
{
    auto* block = new QWidget;
    auto* stack = new QVBoxLayout(block);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    auto* headline =
        HeadlineText{QStringLiteral("Good. You'll never have to"), QStringLiteral("close them again."), 40}
            .view();
    headline->setMaximumWidth(640);
    stack->addWidget(headline, 0, Qt::AlignHCenter);
    stack->addWidget(
        centred(SubheadlineText{QStringLiteral("Your private stuff can stay open — it just stops being "
                                               "visible. The monitor on the right is what your "
                                               "audience sees."),
                                true}
                    .view(),
                620));
    return block;
}

QWidget* OnboardingStepDemo::makeControls()
{
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    stack->addWidget(makeWindowRow());
    stack->addWidget(makeTransparencyRow());
    m_panel = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 14, content);
    m_panel->setObjectName(QStringLiteral("demo.controls"));
    return centred(m_panel, 672);
}

QWidget* OnboardingStepDemo::makeWindowRow()
{
    auto* rowView = new QWidget;
    auto* row = new QHBoxLayout(rowView);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(
        new MockPicture(
            fill(Shape::rounded(12), mockwindow::faded(OBTokens::indigo(), 0.2))
                .frame(36, 36)
                .overlay(symbol(QStringLiteral("number"), 18, kit::rgb(0xA5B4FC), FontWeight::bold))),
        0,
        Qt::AlignVCenter);

    auto* labels = new QVBoxLayout;
    labels->setSpacing(2);
    const kit::TextOptions oneLine{0, kit::TextAlignment::Leading, 1};
    m_title = new kit::TextView(
        QString(),
        textLook(OBFont::geist(FontWeight::semibold, 13).tracked(-0.13), OBTokens::textPrimary()),
        oneLine);
    m_title->setObjectName(QStringLiteral("demo.windowTitle"));
    m_subtitle = new kit::TextView(
        QString(), textLook(OBFont::geist(FontWeight::regular, 11), OBTokens::textSecondary()), oneLine);
    m_subtitle->setObjectName(QStringLiteral("demo.windowSubtitle"));
    labels->addWidget(m_title);
    labels->addWidget(m_subtitle);
    row->addLayout(labels, 1);

    m_pin = new OnboardingPill(
        {QStringLiteral("Pin on top"), QStringLiteral("pin"), 12, FontWeight::regular, true},
        QuietButtonStyle{32, false}.pill());
    m_pin->setObjectName(QStringLiteral("demo.pin"));
    // The pin glyph is flame while pinned, whatever the pill's text colour.
    m_pin->findChild<kit::SymbolView*>()->setColor(
        [this] { return m_input.isPinned() ? OBTokens::flame() : OBTokens::textTertiary(); });
    connect(m_pin, &QAbstractButton::clicked, this, [this] { m_input.isPinned.set(!m_input.isPinned()); });
    row->addWidget(m_pin, 0, Qt::AlignVCenter);

    m_hide =
        new DemoHideButton([this] { return m_input.isVeiled(); }, [this] { return m_input.hasTriedVeil(); });
    connect(m_hide, &QAbstractButton::clicked, this, &OnboardingStepDemo::toggleVeil);
    row->addWidget(m_hide, 0, Qt::AlignVCenter);
    return rowView;
}

QWidget* OnboardingStepDemo::makeTransparencyRow()
{
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(12);
    row->addWidget(
        new kit::SymbolView(QStringLiteral("eye.slash"), 13, [] { return OBTokens::textTertiary(); }),
        0,
        Qt::AlignVCenter);
    row->addWidget(
        new kit::TextView(QStringLiteral("TRANSPARENCY"), kit::monoLabel(9.5, OBTokens::textTertiary())),
        0,
        Qt::AlignVCenter);
    row->addWidget(makeOBOpacitySlider(m_input.transparency,
                                       OnboardingDraft::kMinTransparency,
                                       OnboardingDraft::kMaxTransparency,
                                       m_input.observe),
                   1,
                   Qt::AlignVCenter);
    m_value = new kit::TextView(QString(),
                                textLook(OBFont::mono(FontWeight::medium, 12), OBTokens::textPrimary()),
                                kit::TextOptions{0, kit::TextAlignment::Trailing, 1});
    m_value->setObjectName(QStringLiteral("demo.transparency"));
    m_value->setFixedWidth(36);
    row->addWidget(m_value, 0, Qt::AlignVCenter);

    auto* reset = new kit::PressFeedbackButton;
    reset->setObjectName(QStringLiteral("demo.reset"));
    auto* title = new QHBoxLayout(reset);
    title->setContentsMargins(0, 0, 0, 0);
    title->addWidget(new kit::TextView(QStringLiteral("RESET"), [this] {
        const bool atDefault = m_input.transparency() == OnboardingDraft::kMaxTransparency;
        return textLook(OBFont::mono(FontWeight::regular, 9.5).tracked(2.28),
                        atDefault ? mockwindow::faded(OBTokens::textTertiary(), 0.4) : OBTokens::flameSoft());
    }));
    connect(reset, &QAbstractButton::clicked, this, [this] {
        m_input.transparency.set(OnboardingDraft::kMaxTransparency);
    });
    m_reset = reset;
    row->addWidget(reset, 0, Qt::AlignVCenter);
    return new Panel(OBTokens::surfaceRaised(), OBTokens::hairline(), 12, 0, content);
}

QWidget* OnboardingStepDemo::makeMonitors()
{
    m_own = new DemoMonitorPane(*this, false);
    m_audience = new DemoMonitorPane(*this, true);
    return new MonitorRow(m_own, m_audience, [this](double pane) { paneWidthChanged(pane); });
}

void OnboardingStepDemo::toggleVeil() const
{
    m_input.hasTriedVeil.set(true);
    m_input.isVeiled.set(!m_input.isVeiled());
    if (m_input.playVeilSound) {
        m_input.playVeilSound();
    }
}

DemoWindowLook OnboardingStepDemo::ownWindowLook() const
{
    return DemoWindowLook::of(false, m_input.isPinned(), m_input.transparency());
}

DemoWindowLook OnboardingStepDemo::audienceWindowLook() const
{
    const bool pinned = m_input.isPinned();
    const double transparency = m_input.transparency();
    return DemoWindowLook::mix(DemoWindowLook::of(false, pinned, transparency),
                               DemoWindowLook::of(true, pinned, transparency),
                               m_veil.value());
}

void OnboardingStepDemo::sync()
{
    const DemoWindowLabels labels = windowLabels(m_input.selected());
    m_title->setText(labels.title);
    m_subtitle->setText(labels.subtitle);

    const QList<RevealVariant> variants =
        revealVariants(m_input.persona ? m_input.persona() : QString(), m_input.selected());
    if (variants != m_variants || m_variants.isEmpty()) {
        m_variants = variants;
        const Item stack = RevealStack{variants, kStackStep}.item();
        m_own->setStack(stack);
        m_audience->setStack(stack);
    }

    const bool pinned = m_input.isPinned();
    m_pin->setStyle(QuietButtonStyle{32, pinned}.pill());
    m_pin->findChild<kit::SymbolView*>()->setName(pinned ? QStringLiteral("pin.fill")
                                                         : QStringLiteral("pin"));
    m_pin->findChild<kit::TextView*>()->setText(pinned ? QStringLiteral("Pinned on top")
                                                       : QStringLiteral("Pin on top"));
    m_pin->setAccessibleName(pinned ? QStringLiteral("Unpin this window")
                                    : QStringLiteral("Keep this window on top"));

    const bool veiled = m_input.isVeiled();
    m_hide->sync();
    m_panel->setBorder(veiled ? OBTokens::selectedBorder() : OBTokens::hairline());
    if (veiled != m_lastVeiled) {
        m_lastVeiled = veiled;
        m_veil.animate(veiled ? 1 : 0, OBMotion::curve(kVeilDuration));
    }
    m_audience->sync(veiled);

    const double transparency = m_input.transparency();
    m_value->setText(QStringLiteral("%1%").arg(OnboardingDraft::transparencyPercent(transparency)));
    m_reset->setEnabled(transparency != OnboardingDraft::kMaxTransparency);
    m_reset->update();
    offsetMoved();
}

void OnboardingStepDemo::paneWidthChanged(double paneWidth)
{
    m_paneWidth = paneWidth;
    // At rest the window keeps within the new travel.
    if (!m_isDragging && !m_shownX.isAnimating() && !m_shownY.isAnimating()) {
        const QPointF shown = DemoDrag::clamped(m_windowOffset, limitX());
        m_shownX.set(shown.x());
        m_shownY.set(shown.y());
    }
}

void OnboardingStepDemo::dragChanged(QPointF translation)
{
    if (!m_isDragging) {
        m_isDragging = true;
        m_dragOrigin = DemoDrag::clamped(m_windowOffset, limitX());
    }
    m_windowOffset = m_dragOrigin + translation;
    const QPointF shown = DemoDrag::rubberBanded(m_windowOffset, limitX(), m_paneWidth);
    m_shownX.set(shown.x());
    m_shownY.set(shown.y());
}

void OnboardingStepDemo::dragEnded(QPointF predictedEndLocation, QPointF location)
{
    const QPointF velocity = DemoDrag::releaseVelocity(predictedEndLocation, location);
    const kit::Animation settle = DemoDrag::settleAnimation(std::hypot(velocity.x(), velocity.y()));
    m_windowOffset = DemoDrag::releaseTarget(m_windowOffset, velocity, limitX());
    m_isDragging = false;
    m_shownX.animate(m_windowOffset.x(), settle);
    m_shownY.animate(m_windowOffset.y(), settle);
}

void OnboardingStepDemo::offsetMoved()
{
    if (m_own != nullptr) {
        m_own->layersChanged();
        m_audience->layersChanged();
    }
}
