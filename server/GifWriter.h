#pragma once
// Small paletted pictures and their GIF encoding (giflib), plus the few drawing operations the
// server's icons and charts need.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

// An 8-bit paletted picture. Colours are 0xRRGGBB; index 0 is the first colour added.
class TPixmap
{
public:
    TPixmap(int width, int height, uint32_t background);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Palette index of a colour, added on first use (at most 256 colours).
    uint8_t Color(uint32_t rgb);
    void Set(int x, int y, uint32_t rgb);
    void FillRect(int x, int y, int w, int h, uint32_t rgb);
    void Line(int x0, int y0, int x1, int y1, uint32_t rgb);
    // Upper-case letters, digits and a few signs in a 3 x 5 font, 4 pixels per character.
    void DrawText(int x, int y, std::string_view text, uint32_t rgb);
    static int TextWidth(std::string_view text) { return static_cast<int>(text.size()) * 4 - 1; }

    const std::vector<uint8_t> &Pixels() const { return FPixels; }
    const std::vector<uint32_t> &Palette() const { return FPalette; }

private:
    int FWidth, FHeight;
    std::vector<uint8_t> FPixels;
    std::vector<uint32_t> FPalette;
};

// The GIF file of the picture. Raises std::runtime_error when giflib fails.
std::string EncodeGif(const TPixmap &pixmap);

} // namespace kestrova::alertd
