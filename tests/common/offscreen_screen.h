#pragma once

#include <QString>

namespace testing_support {

// Writes an offscreen-platform configuration for a screen of the given size and
// returns its path; pass it as "offscreen:configfile=PATH" before QApplication exists.
// Window-system events (activation, exposure) are delivered at once unless queued is
// true: then they wait for the event loop, as on a real display and in the demo host.
QString WriteOffscreenScreenConfig(int width, int height, bool queued = false);

} // namespace testing_support
