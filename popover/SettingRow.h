#pragma once

#include <QString>
#include <QWidget>

#include <optional>

namespace kit {
class TextView;
}

// The labelled row of the popover's cards: an optional icon tile, a one-line title over a
// subtitle that wraps, and the owner's control at the trailing edge. Holds no model state; main
// thread only.
class SettingRow final : public QWidget
{
    Q_OBJECT

public:
    // `icon` is a system symbol name (no tile when absent); the row takes `trailing` (may be null).
    SettingRow(const std::optional<QString>& icon,
               const QString& title,
               const QString& subtitle,
               QWidget* trailing,
               QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);
    QString subtitle() const;
    void setSubtitle(const QString& subtitle);
    QWidget* trailing() const { return m_trailing; }
    // The icon tile; null when the row has none.
    QWidget* iconTile() const { return m_iconTile; }
    kit::TextView* titleView() const { return m_title; }
    kit::TextView* subtitleView() const { return m_subtitle; }

    static constexpr double kSpacing = 11;
    static constexpr double kTileSide = 28;
    static constexpr double kTileCornerRadius = 8;
    static constexpr double kIconPointSize = 12;
    static constexpr double kTextSpacing = 2;
    static constexpr double kMinimumGap = 8;

private:
    QWidget* m_iconTile = nullptr;
    kit::TextView* m_title = nullptr;
    kit::TextView* m_subtitle = nullptr;
    QWidget* m_trailing = nullptr;
};
