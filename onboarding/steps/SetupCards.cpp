#include "onboarding/steps/SetupCards.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingPersona.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/Palette.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {

kit::TextView* oneLine(const QString& text, const OBFont& font, const QColor& color)
{
    auto* view =
        new kit::TextView(text, textLook(font, color), kit::TextOptions{0, kit::TextAlignment::Leading, 1});
    view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return view;
}

// A card face that fills the card and centres its stack in it.
QVBoxLayout* centredFace(QWidget* face, int spacing)
{
    auto* column = new QVBoxLayout(face);
    column->setContentsMargins(32, 40, 32, 40);
    column->setSpacing(spacing);
    return column;
}

// A quarter arc turning once a second around the shield, over a faint full circle; it stands
// still under Reduce Motion.
class Spinner final : public QWidget
{
public:
    Spinner()
    {
        setFixedSize(56, 56);
        m_turn.setOnChange([this] { update(); });
        m_turn.animate(1, kit::Animation::linear(1.0).repeatForever(false));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.setPen(QPen(OBTokens::hairline(), 2));
        painter.drawEllipse(ring);
        painter.save();
        painter.translate(ring.center());
        painter.rotate(360 * m_turn.value());
        painter.translate(-ring.center());
        painter.setPen(QPen(OBTokens::flame(), 2, Qt::SolidLine, Qt::RoundCap));
        // From three o'clock a quarter of the way round, clockwise.
        painter.drawArc(ring, 0, -90 * 16);
        painter.restore();
        kit::paintSymbol(
            painter, QStringLiteral("checkmark.shield.fill"), ring.center(), 22, OBTokens::flame());
    }

private:
    kit::AnimatedValue m_turn{0.0};
};

// A compiling line's mark: a flame check once ticked, a faint empty circle before.
class LineMark final : public QWidget
{
public:
    explicit LineMark(const bool& ticked)
        : m_ticked(ticked)
    {
        const int side = static_cast<int>(std::ceil(std::max(kit::symbolSide(13), 14.0)));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        if (m_ticked) {
            kit::paintSymbol(painter, QStringLiteral("checkmark.circle.fill"), centre, 13, OBTokens::flame());
            return;
        }
        painter.setPen(QPen(OBTokens::hairlineHover(), 1));
        painter.drawEllipse(QRectF(centre - QPointF(6.5, 6.5), QSizeF(13, 13)));
    }

private:
    const bool& m_ticked;
};

// The success badge, growing in from a twentieth of its size as the card appears, with two
// rings behind it that swell to 1.55 times its size and fade out, the second 0.22 s after the
// first. Once.
class SuccessBadge final
    : public QWidget
    , public kit::SelfPainted
{
public:
    SuccessBadge()
    {
        setObjectName(QStringLiteral("setup.badge"));
        setFixedSize(kSide, kSide);
        hostLook(this);
        for (kit::AnimatedValue* value : {&m_badge, &m_rings[0], &m_rings[1]}) {
            value->setOnChange([this] { update(); });
        }
        // The badge enters with the card's own change.
        m_badge.change(1, kit::transactionAnimation());
        m_rings[0].animate(1, OBMotion::curve(0.8).delayed(0));
        m_rings[1].animate(1, OBMotion::curve(0.8).delayed(0.22));
    }

    void paintLook(QPainter& painter) override
    {
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        const QRectF circle(centre - QPointF(kSide / 2.0, kSide / 2.0), QSizeF(kSide, kSide));
        for (const kit::AnimatedValue& ring : m_rings) {
            const double expanding = ring.value();
            painter.save();
            painter.setTransform(kit::scaleAbout(centre, 1 + 0.55 * expanding), true);
            painter.setOpacity(1 - expanding);
            painter.setPen(QPen(faded(OBTokens::flame(), 0.5), 2));
            painter.drawEllipse(circle);
            painter.restore();
        }
        const double in = m_badge.value();
        painter.save();
        painter.setTransform(kit::scaleAbout(centre, 0.05 + 0.95 * in), true);
        painter.setOpacity(in);
        painter.setPen(Qt::NoPen);
        painter.setBrush(faded(OBTokens::flame(), 0.15));
        painter.drawEllipse(circle);
        kit::paintSymbol(painter, QStringLiteral("checkmark.circle.fill"), centre, 36, OBTokens::flame());
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(faded(OBTokens::flame(), 0.4), 1));
        painter.drawEllipse(circle);
        painter.restore();
    }

    QMarginsF lookOverflow() const override
    {
        const double reach = kSide * 0.55 / 2 + 1;
        return {reach, reach, reach, reach};
    }

    std::optional<kit::ContentPlacement> contentPlacement() const override { return std::nullopt; }

protected:
    void paintEvent(QPaintEvent* /*event*/) override { paintLookIfUnhosted(this); }

private:
    static constexpr int kSide = 80;
    kit::AnimatedValue m_badge{0.0};
    std::array<kit::AnimatedValue, 2> m_rings;
};

// The tile behind a receipt symbol: neutral, or in flame.
mock::Item iconTile(const QString& symbol,
                    double side,
                    double corner,
                    double symbolSize,
                    bool flame,
                    kit::FontWeight weight = kit::FontWeight::regular)
{
    using namespace mock;
    const Shape shape = Shape::rounded(corner);
    return fill(shape, flame ? faded(OBTokens::flame(), 0.15) : OBTokens::surfaceRaised())
        .frame(side, side)
        .overlay(mock::symbol(symbol, symbolSize, flame ? OBTokens::flame() : OBTokens::flameSoft(), weight))
        .border(flame ? faded(OBTokens::flame(), 0.4) : OBTokens::hairline(), shape);
}

QWidget* tile(const mock::Item& item)
{
    auto* picture = new MockPicture(item);
    picture->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    picture->setFixedSize(picture->sizeHint());
    return picture;
}

// A dotted line across the room between a receipt row's label and its value.
class DottedLeader final : public QWidget
{
public:
    DottedLeader()
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        QPen pen(OBTokens::hairlineHover(), 1, Qt::CustomDashLine, Qt::FlatCap);
        pen.setDashPattern({2, 3});
        painter.setPen(pen);
        painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));
    }
};

// One line of the receipt: its symbol on a tile, the label, the leader and the value.
QWidget* receiptRow(const QString& symbol, const QString& label, QWidget* value, bool emphasize = false)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(24, 8, 24, 8);
    layout->setSpacing(12);
    // An emphasised row's tile is in the flame colours, its symbol bold.
    layout->addWidget(
        tile(iconTile(
            symbol, 24, 6, 11, emphasize, emphasize ? kit::FontWeight::bold : kit::FontWeight::regular)),
        0,
        Qt::AlignVCenter);
    layout->addWidget(oneLine(label, OBFont::geist(kit::FontWeight::regular, 13), OBTokens::textPrimary()),
                      0,
                      Qt::AlignVCenter);
    layout->addWidget(new DottedLeader, 1, Qt::AlignVCenter);
    layout->addWidget(value, 0, Qt::AlignVCenter);
    return row;
}

kit::TextView* valueText(const QString& text)
{
    return oneLine(text, OBFont::geist(kit::FontWeight::medium, 11), OBTokens::textPrimary());
}

// The signed-in footer's capsule behind its row.
class Capsule final : public QWidget
{
protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF shape(rect());
        painter.fillPath(kit::capsule(shape), OBTokens::surfaceRaised());
        kit::strokeInnerBorder(painter, shape, kit::capsuleRadius(shape), OBTokens::hairline());
    }
};

} // namespace

// -- Compiling ---------------------------------------------------------------------------------

struct SetupCompilingCard::Line
{
    bool ticked = false;
    QWidget* view = nullptr;
    kit::AnimatedValue opacity{0.3};
};

SetupCompilingCard::SetupCompilingCard(int revealedCount, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SetupCompilingCard"));
    auto* column = centredFace(this, 24);
    column->addStretch(1);
    column->addWidget(new Spinner, 0, Qt::AlignHCenter);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(oneLine(QStringLiteral("Compiling your setup…"),
                              OBFont::geist(kit::FontWeight::semibold, 15),
                              OBTokens::textPrimary()),
                      0,
                      Qt::AlignHCenter);
    titles->addWidget(oneLine(QStringLiteral("Just a second."),
                              OBFont::geist(kit::FontWeight::regular, 12),
                              OBTokens::textMuted()),
                      0,
                      Qt::AlignHCenter);
    column->addLayout(titles);

    auto* lines = new QWidget;
    lines->setFixedWidth(220);
    auto* lineColumn = new QVBoxLayout(lines);
    lineColumn->setContentsMargins(0, 0, 0, 0);
    lineColumn->setSpacing(8);
    for (int i = 0; i < 3; ++i) {
        auto line = std::make_unique<Line>();
        Line* self = line.get();
        line->view = new QWidget;
        line->view->setObjectName(QStringLiteral("setup.line.%1").arg(i));
        auto* row = new QHBoxLayout(line->view);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(new LineMark(line->ticked), 0, Qt::AlignVCenter);
        row->addWidget(new kit::TextView(
                           lineTitles().at(i),
                           [self] {
                               return textLook(OBFont::geist(kit::FontWeight::regular, 12),
                                               self->ticked ? OBTokens::textPrimary()
                                                            : OBTokens::textMuted());
                           },
                           kit::TextOptions{0, kit::TextAlignment::Leading, 1}),
                       1,
                       Qt::AlignVCenter);
        kit::ViewEffect::on(line->view).setOpacity(0.3);
        line->opacity.setOnChange(
            [self] { kit::ViewEffect::on(self->view).setOpacity(self->opacity.value()); });
        lineColumn->addWidget(line->view);
        m_lines.at(static_cast<size_t>(i)) = std::move(line);
    }
    column->addWidget(lines, 0, Qt::AlignHCenter);
    column->addStretch(1);
    setRevealedCount(revealedCount);
}

SetupCompilingCard::~SetupCompilingCard() = default;

const QStringList& SetupCompilingCard::lineTitles()
{
    static const QStringList titles{QStringLiteral("Arming panic hotkey"),
                                    QStringLiteral("Veiling your windows"),
                                    QStringLiteral("Locking in transparency")};
    return titles;
}

void SetupCompilingCard::setRevealedCount(int count)
{
    m_revealedCount = count;
    for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
        Line& line = *m_lines.at(static_cast<size_t>(i));
        const bool ticked = i < count;
        if (ticked == line.ticked) {
            continue;
        }
        line.ticked = ticked;
        line.view->update();
        line.opacity.animate(ticked ? 1 : 0.3, OBMotion::curve(0.3));
    }
}

double SetupCompilingCard::lineOpacity(int index) const
{
    return m_lines.at(static_cast<size_t>(index))->opacity.value();
}

// -- Success -----------------------------------------------------------------------------------

SetupSuccessCard::SetupSuccessCard(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SetupSuccessCard"));
    auto* column = centredFace(this, 20);
    column->addStretch(1);
    column->addWidget(new SuccessBadge, 0, Qt::AlignHCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(6);
    titles->addWidget(oneLine(QStringLiteral("Shield armed."),
                              OBFont::geist(kit::FontWeight::semibold, 20),
                              OBTokens::textPrimary()),
                      0,
                      Qt::AlignHCenter);
    titles->addWidget(oneLine(QStringLiteral("Everything's locked in and ready to go."),
                              OBFont::geist(kit::FontWeight::regular, 13),
                              OBTokens::textMuted()),
                      0,
                      Qt::AlignHCenter);
    column->addLayout(titles);
    column->addStretch(1);
}

// -- Receipt -----------------------------------------------------------------------------------

SetupReceipt::SetupReceipt(double cardCorner, std::function<void()> onContinue, QWidget* parent)
    : QWidget(parent)
    , m_onContinue(std::move(onContinue))
{
    setObjectName(QStringLiteral("SetupReceipt"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(makeStatus());
    column->addWidget(makeRows());
    column->addWidget(makeFooter(cardCorner));
    column->addStretch(1);
}

QString SetupReceipt::hiddenWindowsText(qint64 selectedCount)
{
    if (selectedCount == 0) {
        return QStringLiteral("Hotkey only");
    }
    return QStringLiteral("%1 window%2")
        .arg(selectedCount)
        .arg(selectedCount == 1 ? QString() : QStringLiteral("s"));
}

QString SetupReceipt::transparencyText(double transparency)
{
    return QStringLiteral("%1%").arg(OnboardingDraft::transparencyPercent(transparency));
}

QWidget* SetupReceipt::makeHeader()
{
    auto* band = new CardBand({QColor(), OBTokens::hairline()});
    auto* row = new QHBoxLayout(band);
    row->setContentsMargins(24, 20, 24, 16);
    row->setSpacing(12);
    row->addWidget(
        tile(iconTile(QStringLiteral("checkmark.shield.fill"), 36, 8, 16, true)), 0, Qt::AlignVCenter);
    row->addWidget(oneLine(QStringLiteral("Your setup"),
                           OBFont::geist(kit::FontWeight::semibold, 15).tracked(-0.4),
                           OBTokens::textPrimary()),
                   0,
                   Qt::AlignVCenter);
    row->addSpacerItem(new QSpacerItem(8, 0, QSizePolicy::Expanding));
    m_persona = oneLine(QString(), OBFont::mono(kit::FontWeight::regular, 11), OBTokens::flameSoft());
    m_persona->setObjectName(QStringLiteral("receipt.persona"));
    // A long goal gives way to the title and is cut with "…".
    m_persona->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    row->addWidget(m_persona, 0, Qt::AlignVCenter);
    return band;
}

QWidget* SetupReceipt::makeStatus()
{
    auto* band = new CardBand({OBTokens::surfaceRaised(), OBTokens::hairline()});
    auto* row = new QHBoxLayout(band);
    row->setContentsMargins(24, 10, 24, 10);
    row->setSpacing(8);
    m_statusSymbol = new kit::SymbolView(QStringLiteral("clock"), 13, OBTokens::textTertiary());
    row->addWidget(m_statusSymbol, 0, Qt::AlignVCenter);
    m_status = oneLine(QString(), OBFont::geist(kit::FontWeight::regular, 12), OBTokens::textSecondary());
    m_status->setObjectName(QStringLiteral("receipt.status"));
    row->addWidget(m_status, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return band;
}

QWidget* SetupReceipt::makeRows()
{
    auto* band = new CardBand({QColor(), OBTokens::hairline()});
    auto* column = new QVBoxLayout(band);
    column->setContentsMargins(0, 8, 0, 4);
    column->setSpacing(0);

    auto* keys = new QWidget;
    auto* keyRow = new QHBoxLayout(keys);
    keyRow->setContentsMargins(0, 0, 0, 0);
    keyRow->setSpacing(4);
    keyRow->addWidget(OBKbd{QStringLiteral("⇧")}.view());
    keyRow->addWidget(OBKbd{QStringLiteral("⌘")}.view());
    keyRow->addWidget(OBKbd{QStringLiteral("H"), true}.view());
    keys->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_transparency = valueText(QString());
    m_transparency->setObjectName(QStringLiteral("receipt.transparency"));
    m_hiddenWindows = valueText(QString());
    m_hiddenWindows->setObjectName(QStringLiteral("receipt.hiddenWindows"));

    column->addWidget(receiptRow(QStringLiteral("bolt.fill"), QStringLiteral("Panic hotkey"), keys));
    column->addWidget(receiptRow(QStringLiteral("eye.slash.fill"),
                                 QStringLiteral("Hide from the share"),
                                 valueText(QStringLiteral("ON"))));
    column->addWidget(receiptRow(QStringLiteral("shield.lefthalf.filled"),
                                 QStringLiteral("Auto-hide"),
                                 valueText(QStringLiteral("ON"))));
    column->addWidget(receiptRow(
        QStringLiteral("pin.fill"), QStringLiteral("Pin on top"), valueText(QStringLiteral("ON"))));
    column->addWidget(
        receiptRow(QStringLiteral("slider.horizontal.3"), QStringLiteral("Transparency"), m_transparency));
    column->addWidget(receiptRow(
        QStringLiteral("macwindow.on.rectangle"), QStringLiteral("Hidden windows"), m_hiddenWindows));
    return band;
}

QWidget* SetupReceipt::makeFooter(double cardCorner)
{
    CardBand::Look look;
    look.background = faded(OBTokens::hairline(), 0.4);
    look.bottomCorner = cardCorner;
    auto* band = new CardBand(look);
    auto* column = new QVBoxLayout(band);
    column->setContentsMargins(24, 16, 24, 20);
    column->setSpacing(0);
    const auto onContinue = [this] {
        if (m_onContinue) {
            m_onContinue();
        }
    };

    // Signed in: a capsule saying so, with Continue at its end.
    m_signedIn = new Capsule;
    m_signedIn->setFixedHeight(48);
    auto* capsuleRow = new QHBoxLayout(m_signedIn);
    capsuleRow->setContentsMargins(14, 0, 4, 0);
    capsuleRow->setSpacing(8);
    capsuleRow->addWidget(new kit::SymbolView(QStringLiteral("checkmark.circle.fill"), 16, OBTokens::flame()),
                          0,
                          Qt::AlignVCenter);
    capsuleRow->addWidget(oneLine(QStringLiteral("Signed in to Veilmox"),
                                  OBFont::geist(kit::FontWeight::medium, 13),
                                  OBTokens::textPrimary()),
                          0,
                          Qt::AlignVCenter);
    capsuleRow->addSpacerItem(new QSpacerItem(8, 0, QSizePolicy::Expanding));
    auto* next = new OnboardingPill({QStringLiteral("Continue"), QStringLiteral("arrow.right"), 11},
                                    ContinueButtonStyle{true}.pill());
    next->setObjectName(QStringLiteral("setup.continue"));
    connect(next, &QAbstractButton::clicked, this, onContinue);
    capsuleRow->addWidget(next, 0, Qt::AlignVCenter);
    column->addWidget(m_signedIn);

    // Signed out: the call to sign in, which keeps the setup.
    m_signedOut = new QWidget;
    auto* signedOut = new QVBoxLayout(m_signedOut);
    signedOut->setContentsMargins(0, 0, 0, 0);
    signedOut->setSpacing(10);
    auto* save = new OnboardingPill({QStringLiteral("Save my setup"), QStringLiteral("arrow.right"), 12},
                                    SunsetButtonStyle{44, true}.pill());
    save->setObjectName(QStringLiteral("setup.save"));
    connect(save, &QAbstractButton::clicked, this, onContinue);
    signedOut->addWidget(save);
    signedOut->addWidget(
        new kit::TextView(QStringLiteral("One step left — sign in to keep it."),
                          textLook(OBFont::geist(kit::FontWeight::regular, 12), OBTokens::textMuted()),
                          kit::TextOptions{0, kit::TextAlignment::Center}));
    column->addWidget(m_signedOut);
    return band;
}

void SetupReceipt::setValues(const Values& values)
{
    m_persona->setText(OnboardingPersona::find(values.persona).label);
    m_transparency->setText(transparencyText(values.transparency));
    m_hiddenWindows->setText(hiddenWindowsText(values.selectedCount));
    const bool signedIn = values.isAuthenticated;
    m_statusSymbol->setName(signedIn ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("clock"));
    const QColor symbolColor = signedIn ? OBTokens::flame() : OBTokens::textTertiary();
    m_statusSymbol->setColor([symbolColor] { return symbolColor; });
    m_status->setText(signedIn ? QStringLiteral("Saved to your account")
                               : QStringLiteral("Not saved to your account yet"));
    m_signedIn->setVisible(signedIn);
    m_signedOut->setVisible(!signedIn);
}
