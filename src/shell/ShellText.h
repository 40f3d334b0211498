#pragma once

#include <QString>
#include <string>

#include "engine/Value.h"

namespace corv::shell {

// Where the main window keeps its settings.
inline constexpr const char* kSettingsApp = "Corvidel";
inline constexpr const char* kSettingsSection = "Settings";

// Window geometry is kept in twips, as the settings always were: 15 twips to a pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
inline int TwipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
inline int PixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// "Version 2.0.1" from the numbers the build was given.
QString VersionText(int major, int minor, int patch);
QString VersionText();

// A round as the lists show it: a whole number without a decimal point or leading zeros; anything that is
// not a whole number is shown as it is.
QString WholeNumberText(const Value& value);

// A settings value in twips: the stored text when it is a whole number, else the default.
int TwipsSetting(const std::string& stored, int defaultTwips);

}  // namespace corv::shell
