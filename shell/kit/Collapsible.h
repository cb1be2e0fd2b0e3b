#pragma once

#include "shell/kit/Transition.h"

#include <QWidget>

namespace kit {

// A row's part that shows only while expanded (a window list, a panel): expanding grows its
// height from 0 to its content's while the content enters with its transition; collapsing does
// the reverse and then hides the content. Animated by the transaction's animation (at once
// outside one); the layout around it follows on every frame. The content keeps its full height
// at the top and is cut at the current one. Main thread only.
class Collapsible final : public QWidget
{
    Q_OBJECT

public:
    explicit Collapsible(QWidget* content, bool expanded = false, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    // How the content enters and leaves; a fade when not set.
    void setTransition(const Transition& transition);

    bool isExpanded() const;
    void setExpanded(bool expanded);
    void setExpanded(bool expanded, const std::optional<Animation>& animation);
    // How far open it is drawn now: 0 closed … 1 open.
    double expansion() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    int contentHeight(int width) const;
    void placeContent();

    QWidget* m_content;
};

} // namespace kit
