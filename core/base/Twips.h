#pragma once
// Window geometry in twips (1440 to the inch), converted to pixels with the
// screen's logical resolution. The window front end sets the resolution from
// the primary screen at start-up; without a screen it stays at 96 dots per inch.

namespace tav {

constexpr int TwipsPerInch = 1440;

void setTwipsDpi(double dotsPerInch);
double twipsDpi();

int twipsToPixels(double twips);
int pixelsToTwips(double pixels);

} // namespace tav
