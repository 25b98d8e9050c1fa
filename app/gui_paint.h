// Test seam of the window's painting: every text that Gui::drawText draws can
// be recorded with its place, colour and weight.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PaintedText {
    int x = 0;
    int y = 0; // the y given to drawText (the text is drawn 3 units above it)
    std::string text;
    uint32_t colour = 0; // COLORREF
    bool bold = false;
};

// Records into `sink` (null stops recording); returns the previous sink.
std::vector<PaintedText>* gf_setPaintRecorder(std::vector<PaintedText>* sink);

// Colours of the painted texts (COLORREF values).
namespace gui_colour {
inline constexpr uint32_t Green = 0x0032D232;  // RGB(50, 210, 50)
inline constexpr uint32_t Yellow = 0x0000FFFF; // RGB(255, 255, 0)
inline constexpr uint32_t Red = 0x000000FF;    // RGB(255, 0, 0)
inline constexpr uint32_t White = 0x00FFFFFF;
inline constexpr uint32_t Black = 0x00000000;
inline constexpr uint32_t Grey = 0x00A0A0A0;   // RGB(160, 160, 160)
} // namespace gui_colour
