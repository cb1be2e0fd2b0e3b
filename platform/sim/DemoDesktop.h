#pragma once

namespace platform::sim {

class SimDesktop;

// Fills a desktop with one display and a handful of ordinary apps with windows, so the running
// application has something to show.
void populateDemoDesktop(SimDesktop& desktop);

} // namespace platform::sim
