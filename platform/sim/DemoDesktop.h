#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform::sim {

class SimDesktop;

// Fills a desktop with one display, the menu bar, the Dock, a notification banner and a handful
// of ordinary apps with windows, so the running application has something to show.
void populateDemoDesktop(SimDesktop& desktop);

// Fills a desktop from a scenario: a JSON object with "displays" (each with "name", "frame"
// [x, y, width, height], "scale", "wallpaper" "#rrggbb"), "apps" (each with "bundleID", "name",
// "policy" "regular" | "accessory" | "prohibited", "active" and "windows", each with "title",
// "frame", "color", "layer", "alpha", "onScreen", "sharing" 0 | 1 | 2), "menuBarHeight" and
// "screenRecordingPermission". Everything but the display frames and app names is optional. A
// display may be at most kMaxDisplayPixels wide and high in pixels (points times scale). Names,
// bundle identifiers and titles longer than kMaxScenarioText characters are cut to that length,
// with one line on the log. Nothing is added unless the whole scenario reads; the error says what
// is wrong.
std::optional<QString> loadDesktopScenario(SimDesktop& desktop, const QByteArray& json);

// The scenario file named by the environment variable VEILMOX_DESKTOP_SCENARIO, or the demo
// desktop when it is not set. Only a regular file of at most kMaxScenarioBytes is read; one that
// cannot be used is reported in one line on the log and the demo desktop used instead.
void populateDesktop(SimDesktop& desktop);

inline constexpr const char* kDesktopScenarioVariable = "VEILMOX_DESKTOP_SCENARIO";
inline constexpr qint64 kMaxScenarioBytes = qint64(4) * 1024 * 1024;
// Far longer than any name or title a person gives; what is drawn and laid out stays small.
inline constexpr qsizetype kMaxScenarioText = 256;
// An 8K display is 7680 pixels wide.
inline constexpr int kMaxDisplayPixels = 8192;

} // namespace platform::sim
