#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, drawn in code so that the window needs no image plug-in; it matches
// quillmark.svg, which the desktop entry uses.
namespace qm {

[[nodiscard]] QPixmap AppIconPixmap(int ASize);
[[nodiscard]] QIcon AppIcon();

}  // namespace qm
