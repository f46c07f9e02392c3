#include "core/base/Twips.h"

#include <cmath>

namespace tav {

namespace {
double g_dpi = 96.0;
}

void setTwipsDpi(double dotsPerInch) {
    if (dotsPerInch > 0 && std::isfinite(dotsPerInch))
        g_dpi = dotsPerInch;
}

double twipsDpi() {
    return g_dpi;
}

int twipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips * g_dpi / TwipsPerInch));
}

int pixelsToTwips(double pixels) {
    return static_cast<int>(std::lround(pixels * TwipsPerInch / g_dpi));
}

} // namespace tav
