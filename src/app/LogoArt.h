#pragma once

#include <QIcon>
#include <QPixmap>

namespace fendrik {

// The logo beside the status list, 75 x 111 pixels: a drawing sheet under a
// magnifying glass.
QPixmap DrawLogo();

// The window icon, 32 x 32 pixels in a few plain colours.
QIcon DrawWindowIcon();

}  // namespace fendrik
