#pragma once

#include "onboarding/MockLayout.h"
#include "shell/kit/ViewEffect.h"

#include <QWidget>

// A widget that shows a mock picture: its ideal size is the size hint, its height follows its
// width, and shadows fall beyond its rectangle without taking room in the layout. Paint-only:
// it takes no input. Main thread.
class MockPicture final
    : public QWidget
    , public kit::SelfPainted
{
    Q_OBJECT

public:
    explicit MockPicture(mock::Item item = {}, QWidget* parent = nullptr);

    const mock::Item& item() const { return m_item; }
    void setItem(mock::Item item);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, 0}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override { return m_item.overflow(); }
    std::optional<kit::ContentPlacement> contentPlacement() const override { return std::nullopt; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mock::Item m_item;
};
