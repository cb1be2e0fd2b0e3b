#pragma once

#include "shell/kit/Transaction.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

// The popover's own view state: which page is open, whether the sharing guide lies over the main
// page, and the app list's expanded rows and open transparency panel. `MenuBarView` owns one for
// the life of the popover, so closing and reopening it shows the same page; pages and rows get it
// by reference. Main thread only; each setter publishes only a change.
//
// The controls navigate through the operations below, which make each change inside the layout
// spring (the short ease under Reduce Motion), so the page switch and the guide animate with it.
class PopoverNavigation final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The header's guide button; the scrim, the guide's close button and "Got it".
    void toggleHelpGuide()
    {
        kit::animateRespectingReduceMotion([this] { setShowHelpGuide(!m_showHelpGuide); });
    }
    void dismissHelpGuide()
    {
        kit::animateRespectingReduceMotion([this] { setShowHelpGuide(false); });
    }
    // The header's settings button; the settings page's back chevron and "Done".
    void openSettings()
    {
        kit::animateRespectingReduceMotion([this] { setShowingSettings(true); });
    }
    void closeSettings()
    {
        kit::animateRespectingReduceMotion([this] { setShowingSettings(false); });
    }
    // The main page's auto-hide row; the auto-hide page's back control.
    void openAutoHide()
    {
        kit::animateRespectingReduceMotion([this] { setShowingAutoHide(true); });
    }
    void closeAutoHide()
    {
        kit::animateRespectingReduceMotion([this] { setShowingAutoHide(false); });
    }

    bool showHelpGuide() const { return m_showHelpGuide; }
    void setShowHelpGuide(bool value)
    {
        if (value != m_showHelpGuide) {
            m_showHelpGuide = value;
            emit showHelpGuideChanged(value);
        }
    }

    bool showingSettings() const { return m_showingSettings; }
    void setShowingSettings(bool value)
    {
        if (value != m_showingSettings) {
            m_showingSettings = value;
            emit showingSettingsChanged(value);
        }
    }

    bool showingAutoHide() const { return m_showingAutoHide; }
    void setShowingAutoHide(bool value)
    {
        if (value != m_showingAutoHide) {
            m_showingAutoHide = value;
            emit showingAutoHideChanged(value);
        }
    }

    // The bundle identifier of the app whose transparency panel is open, if any.
    const std::optional<QString>& transparencyAppID() const { return m_transparencyAppID; }
    void setTransparencyAppID(const std::optional<QString>& value)
    {
        if (value != m_transparencyAppID) {
            m_transparencyAppID = value;
            emit transparencyAppIDChanged(value);
        }
    }

    const QSet<QString>& expandedAppIDs() const { return m_expandedAppIDs; }
    void setExpandedAppIDs(const QSet<QString>& value)
    {
        if (value != m_expandedAppIDs) {
            m_expandedAppIDs = value;
            emit expandedAppIDsChanged(value);
        }
    }

signals:
    void showHelpGuideChanged(bool value);
    void showingSettingsChanged(bool value);
    void showingAutoHideChanged(bool value);
    void transparencyAppIDChanged(const std::optional<QString>& value);
    void expandedAppIDsChanged(const QSet<QString>& value);

private:
    bool m_showHelpGuide = false;
    bool m_showingSettings = false;
    bool m_showingAutoHide = false;
    std::optional<QString> m_transparencyAppID;
    QSet<QString> m_expandedAppIDs;
};
