#include "onboarding/MockPicture.h"

#include <QPainter>

#include <cmath>

MockPicture::MockPicture(mock::Item item, QWidget* parent)
    : QWidget(parent)
    , m_item(std::move(item))
{
    setObjectName(QStringLiteral("MockPicture"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    hostLook(this);
}

void MockPicture::paintLook(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    m_item.draw(painter, QRectF(rect()));
}

void MockPicture::paintEvent(QPaintEvent* /*event*/)
{
    paintLookIfUnhosted(this);
}

void MockPicture::setItem(mock::Item item)
{
    const QMarginsF reach = m_item.overflow();
    m_item = std::move(item);
    // A new reach has the view's surroundings drawn again; the same one only the view and its
    // reach, as an animation's frames (a glow easing in) want.
    if (m_item.overflow() != reach) {
        lookChanged();
    }
    updateGeometry();
    update();
}

QSize MockPicture::sizeHint() const
{
    const QSizeF ideal = m_item.sizeThatFits({});
    return {static_cast<int>(std::ceil(ideal.width())), static_cast<int>(std::ceil(ideal.height()))};
}

int MockPicture::heightForWidth(int width) const
{
    return static_cast<int>(std::ceil(m_item.sizeThatFits({width, std::nullopt}).height()));
}
