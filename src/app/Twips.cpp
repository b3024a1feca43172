#include "app/Twips.h"

#include <cmath>

namespace fendrik {

int Twips::toPixels(double twips) const {
  return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

}  // namespace fendrik
