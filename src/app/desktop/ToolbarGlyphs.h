#pragma once
// The overlay toolbar's symbols, drawn as simple strokes in the toolbar's
// ink so they read on its dark panel whatever icon theme the desktop has.
// Symbols are named like freedesktop icons ("edit-copy").

#include <QPainter>
#include <string_view>

namespace tessarin {

// False when the symbol is not one of ours (the caller falls back to text).
bool paintToolbarGlyph(QPainter& painter, const QRectF& area, std::string_view symbolName, const QColor& ink);

}  // namespace tessarin
