#pragma once

#include <QIcon>
#include <QPalette>

namespace kalvo {

// The acquisition commands' icons, drawn as shapes in the palette's button text colour (the
// record dot in red), at one and two device pixels per point, so they stay crisp at any
// scale and readable on a dark theme.
enum class Glyph { Step, Run, Stop, Record };

QIcon GlyphIcon(Glyph glyph, const QPalette& palette);

} // namespace kalvo
