#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "state/Models.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QGridLayout;
class QScrollArea;
class WindowManager;

namespace kit {
class TextLabel;
class TextView;
} // namespace kit

// One running app in the picture-in-picture grid: its icon on a 44-point tile that hides the
// whole app from the share or shows it again with one click. Hidden, the icon turns grey and
// faint, a flame badge sits at its corner and the tile gets a dark flame fill and outline. The
// look follows the state object, so hiding it elsewhere shows here at once. Main thread only.
class PiPAppTile final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    PiPAppTile(WindowManager& windowManager, AppInfo app, QWidget* parent = nullptr);

    const AppInfo& app() const { return m_app; }
    // Only whole-app hiding counts.
    bool isAppHidden() const;
    // The click's action: hides or shows the app.
    void toggle();

    // "<name> — tap to hide from your share", or "<name> — hidden. Tap to show.".
    static QString tooltip(const QString& name, bool hidden);
    // What assistive technologies read as the tile's value.
    static QString accessibilityValue(bool hidden);
    QString accessibilityValue() const { return accessibilityValue(isAppHidden()); }

    // How far the hidden look is in now (0 visible … 1 hidden).
    double currentHiddenness() const { return m_hidden.value(); }

    static constexpr double kSide = 44;
    static constexpr double kIconFrame = 40;
    static constexpr double kIconSide = 30;
    static constexpr double kBadgeSide = 15;
    static constexpr double kCornerRadius = 10;
    static constexpr double kHiddenIconOpacity = 0.35;
    static constexpr double kHoverScale = 1.05;

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    void interactionChanged() override;

private:
    void sync();

    WindowManager& m_windowManager;
    AppInfo m_app;
    QImage m_greyIcon;
    kit::AnimatedValue m_hidden;
    kit::AnimatedValue m_hover;
    bool m_shownHidden = false;
};

// The app grid of the expanded panel: the header "OPEN APPS" with "TAP TO HIDE" or the hidden
// count, then a tile for every running app in rows of six, three rows at most in sight and the
// rest scrolling. Signed out, a line asking to sign in takes the grid's place. Main thread only.
class PiPAppGrid final : public QWidget
{
    Q_OBJECT

public:
    explicit PiPAppGrid(WindowManager& windowManager, QWidget* parent = nullptr);

    // The header's right-hand text for a hidden count.
    static QString statusText(int veiledCount);
    // Rows the apps take (at least one), and the height of the scrolled part showing up to three.
    static int rows(int appCount);
    static double scrollHeight(int rows);

    QList<PiPAppTile*> tiles() const;
    QScrollArea* scrollArea() const { return m_scroll; }
    bool showsIndicators() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static constexpr int kColumns = 6;
    static constexpr int kMaxVisibleRows = 3;
    static constexpr double kColumnSpacing = 4;
    static constexpr double kRowSpacing = 4;
    static constexpr double kSignedOutTextSize = 11;
    static inline const QString signedOutText = QStringLiteral("Sign in to Veilmox to hide apps from here.");

signals:
    // The section's height may have changed.
    void contentChanged();

private:
    void sync();
    void rebuildTiles();

    WindowManager& m_windowManager;
    kit::TextLabel* m_status = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_gridHost = nullptr;
    QGridLayout* m_grid = nullptr;
    kit::TextView* m_signedOut = nullptr;
    QList<PiPAppTile*> m_tiles;
};
