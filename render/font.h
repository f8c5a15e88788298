// A small built-in bitmap font for labels on contact sheets.
#pragma once

#include <array>
#include <string_view>

#include "render/image.h"

namespace pexil::render {

// Printable ASCII (32-126) in a 6x9 pixel cell: glyphs are 5x7 above the baseline, with one row
// below it for descenders (g j p q y , ;) and the underscore; the cell's last column and row stay
// empty, so text set cell by cell keeps its spacing. Every other character draws as '?'.
// `scale` (at least 1, else std::invalid_argument) multiplies every pixel into a square.

// The size of the text's box: one cell per character, on one line.
int TextWidth(std::string_view text, int scale = 1);
int TextHeight(int scale = 1);

// Sets the ink pixels of the text, with its box's top left corner at (x, y), to `color`; the
// rest of the box is left as it was. Clips at the image edges.
void DrawText(Image& image, int x, int y, std::string_view text, const std::array<float, 4>& color,
              int scale = 1);

// Sets the pixels of the rectangle to `color`, clipped to the image; an empty or negative size
// draws nothing.
void FillRect(Image& image, int x, int y, int w, int h, const std::array<float, 4>& color);

}  // namespace pexil::render
