#pragma once

#include <QString>

namespace testing_support {

// Writes an offscreen-platform configuration for a screen of the given size and
// returns its path; pass it as "offscreen:configfile=PATH" before QApplication exists.
QString WriteOffscreenScreenConfig(int width, int height);

} // namespace testing_support
