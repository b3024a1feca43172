#pragma once

namespace fendrik {

// Positions, sizes and column widths are kept in twips (1/1440 inch). On
// screen 96 dots per inch make 15 twips per pixel; other logical resolutions
// scale the same way.
inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kStandardDpi = 96.0;

class Twips {
 public:
  explicit Twips(double dpi = kStandardDpi) : dpi_(dpi > 0 ? dpi : kStandardDpi) {}

  double dpi() const { return dpi_; }
  double twipsPerPixel() const { return kTwipsPerInch / dpi_; }

  // Rounded to the nearest whole pixel.
  int toPixels(double twips) const;
  double fromPixels(int pixels) const { return pixels * twipsPerPixel(); }

 private:
  double dpi_;
};

}  // namespace fendrik
