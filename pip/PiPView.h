#pragma once

#include "pip/PiPPlacement.h"
#include "shell/kit/AnimatedValue.h"

#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <optional>

class ChromeButton;
class GlassPill;
class PiPAppGrid;
class PiPController;
class ShareMaskEditor;
class WindowManager;

namespace kit {
class PulseDot;
class SymbolView;
class TextLabel;
} // namespace kit

// The content of the picture-in-picture panel: the latest frame of the "Veilmox" display (what the
// audience sees) with its status pills, the chrome that shows while the pointer is over the panel
// (pause, mask mode, fold the app grid, open the popover, close) and, expanded, the app grid. The
// whole view is the panel's drag handle. It only reads the state object, the controller and the
// mask editor and calls their operations. Main thread only.
class PiPView final : public QWidget
{
    Q_OBJECT

public:
    PiPView(WindowManager& windowManager,
            PiPController& pip,
            ShareMaskEditor& maskEditor,
            QWidget* parent = nullptr);
    ~PiPView() override;
    PiPView(const PiPView&) = delete;
    PiPView& operator=(const PiPView&) = delete;

    bool isHovered() const { return m_isHovered; }
    // The pointer entered or left the panel.
    void setHovered(bool hovered);

    // The actions of the chrome and the preview.
    void toggleExpanded();
    void toggleMaskMode();
    void openPopover();
    void close();

    // The size the view takes: its layout's width and the height its content needs.
    QSize idealSize() const;
    QSize sizeHint() const override { return idealSize(); }
    QSize minimumSizeHint() const override { return idealSize(); }

    // The scale drawn now (presentation), and the point of the view it grows from.
    double currentScale() const { return m_scale.value(); }
    // The opacity of the white border drawn now: it eases up while the pointer is over the panel.
    double currentBorderOpacity() const;
    static QPointF scaleAnchor(PiPCorner corner);

    static double layoutWidth(bool expanded) { return expanded ? kExpandedWidth : kCollapsedWidth; }
    static double previewHeight(double viewWidth) { return (viewWidth - 2 * kPadding) / kPreviewAspect; }

    static constexpr double kExpandedWidth = 320;
    static constexpr double kCollapsedWidth = 256;
    static constexpr double kPadding = 6;
    static constexpr double kCornerRadius = 16;
    static constexpr double kPreviewAspect = 1.6;
    static constexpr double kPreviewRadius = 10;
    static constexpr double kOverlayPadding = 7;
    static constexpr double kDismissedScale = 0.96;
    static constexpr double kBorderOpacity = 0.08;
    static constexpr double kHoveredBorderOpacity = 0.14;
    static constexpr double kHoverDuration = 0.2;
    // A new frame reads one of its rows for every this many points of the preview's height.
    static constexpr double kPointsPerSourceRow = 2;
    // Presses this far apart (points) still make a tap; further, the drag begins.
    static constexpr double kDragMinimumDistance = 3;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    class Preview;

    void buildPreview();
    void buildChrome();
    void sync();
    void syncExpanded();
    void syncPresented();
    void syncStatus();
    void placeContent();
    void reportSize();
    // The drag gesture over the whole view, children included.
    void handleMouse(QObject* watched, QEvent* e);

    WindowManager& m_windowManager;
    PiPController& m_pip;
    ShareMaskEditor& m_maskEditor;
    bool m_isHovered = false;

    Preview* m_preview = nullptr;
    QWidget* m_headerPills = nullptr;
    GlassPill* m_pausedPill = nullptr;
    kit::SymbolView* m_pausedSymbol = nullptr;
    kit::TextLabel* m_pausedText = nullptr;
    GlassPill* m_livePill = nullptr;
    QWidget* m_chrome = nullptr;
    QWidget* m_chromePause = nullptr;
    ChromeButton* m_maskButton = nullptr;
    ChromeButton* m_expandButton = nullptr;
    QWidget* m_countPills = nullptr;
    GlassPill* m_hiddenPill = nullptr;
    kit::TextLabel* m_hiddenText = nullptr;
    GlassPill* m_maskedPill = nullptr;
    kit::TextLabel* m_maskedText = nullptr;
    QWidget* m_cornerPause = nullptr;
    QWidget* m_gridSection = nullptr;
    PiPAppGrid* m_grid = nullptr;

    kit::AnimatedValue m_scale{1.0};
    kit::AnimatedValue m_hoverBorder; // 0 at rest, 1 while hovered
    QSize m_reportedSize;

    // The drag: where the button went down, and whether the panel is following the mouse.
    std::optional<QPointF> m_pressAt;
    bool m_dragging = false;
    QPointer<QWidget> m_pressed;
    // The last press on the preview, for its double click.
    std::optional<double> m_lastPreviewPress;
};
