#include "GifWriter.h"

#include <algorithm>
#include <cstdlib>
#include <gif_lib.h>
#include <stdexcept>

namespace kestrova::alertd {

namespace {
// 3 x 5 glyphs, one row per 3 bits (bit 2 = left column).
struct TGlyph
{
    char C;
    uint8_t Rows[5];
};
constexpr TGlyph Glyphs[] = {
    { 'A', { 2, 5, 7, 5, 5 } },
    { 'B', { 6, 5, 6, 5, 6 } },
    { 'C', { 3, 4, 4, 4, 3 } },
    { 'D', { 6, 5, 5, 5, 6 } },
    { 'E', { 7, 4, 6, 4, 7 } },
    { 'F', { 7, 4, 6, 4, 4 } },
    { 'G', { 3, 4, 5, 5, 3 } },
    { 'H', { 5, 5, 7, 5, 5 } },
    { 'I', { 7, 2, 2, 2, 7 } },
    { 'J', { 1, 1, 1, 5, 2 } },
    { 'K', { 5, 5, 6, 5, 5 } },
    { 'L', { 4, 4, 4, 4, 7 } },
    { 'M', { 5, 7, 7, 5, 5 } },
    { 'N', { 6, 5, 5, 5, 5 } },
    { 'O', { 2, 5, 5, 5, 2 } },
    { 'P', { 6, 5, 6, 4, 4 } },
    { 'Q', { 2, 5, 5, 6, 3 } },
    { 'R', { 6, 5, 6, 5, 5 } },
    { 'S', { 3, 4, 2, 1, 6 } },
    { 'T', { 7, 2, 2, 2, 2 } },
    { 'U', { 5, 5, 5, 5, 7 } },
    { 'V', { 5, 5, 5, 5, 2 } },
    { 'W', { 5, 5, 7, 7, 5 } },
    { 'X', { 5, 5, 2, 5, 5 } },
    { 'Y', { 5, 5, 2, 2, 2 } },
    { 'Z', { 7, 1, 2, 4, 7 } },
    { '0', { 7, 5, 5, 5, 7 } },
    { '1', { 2, 6, 2, 2, 7 } },
    { '2', { 6, 1, 2, 4, 7 } },
    { '3', { 6, 1, 2, 1, 6 } },
    { '4', { 5, 5, 7, 1, 1 } },
    { '5', { 7, 4, 6, 1, 6 } },
    { '6', { 3, 4, 7, 5, 7 } },
    { '7', { 7, 1, 1, 2, 2 } },
    { '8', { 7, 5, 7, 5, 7 } },
    { '9', { 7, 5, 7, 1, 6 } },
    { '$', { 3, 6, 2, 3, 6 } },
    { '%', { 5, 1, 2, 4, 5 } },
    { '-', { 0, 0, 7, 0, 0 } },
    { '+', { 0, 2, 7, 2, 0 } },
    { '.', { 0, 0, 0, 0, 2 } },
    { '<', { 1, 2, 4, 2, 1 } },
    { '>', { 4, 2, 1, 2, 4 } },
};

int WriteToString(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<std::string *>(gif->UserData)
        ->append(reinterpret_cast<const char *>(data), static_cast<size_t>(length));
    return length;
}
} // namespace

TPixmap::TPixmap(int width, int height, uint32_t background)
    : FWidth(width)
    , FHeight(height)
    , FPixels(static_cast<size_t>(width * height), 0)
{
    FPalette.push_back(background);
}

uint8_t TPixmap::Color(uint32_t rgb)
{
    const auto it = std::find(FPalette.begin(), FPalette.end(), rgb);
    if (it != FPalette.end())
        return static_cast<uint8_t>(it - FPalette.begin());
    if (FPalette.size() == 256)
        return 0;
    FPalette.push_back(rgb);
    return static_cast<uint8_t>(FPalette.size() - 1);
}

void TPixmap::Set(int x, int y, uint32_t rgb)
{
    if (x >= 0 && y >= 0 && x < FWidth && y < FHeight)
        FPixels[static_cast<size_t>(y * FWidth + x)] = Color(rgb);
}

void TPixmap::FillRect(int x, int y, int w, int h, uint32_t rgb)
{
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            Set(i, j, rgb);
}

void TPixmap::Line(int x0, int y0, int x1, int y1, uint32_t rgb)
{
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Set(x0, y0, rgb);
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void TPixmap::DrawText(int x, int y, std::string_view text, uint32_t rgb)
{
    for (char c : text) {
        for (const auto &g : Glyphs) {
            if (g.C != c)
                continue;
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g.Rows[row] >> (2 - col) & 1)
                        Set(x + col, y + row, rgb);
        }
        x += 4;
    }
}

std::string EncodeGif(const TPixmap &pixmap)
{
    std::string out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, WriteToString, &error);
    if (!gif)
        throw std::runtime_error(std::string("GIF: ") + GifErrorString(error));
    int colors = 2;
    while (colors < static_cast<int>(pixmap.Palette().size()))
        colors *= 2;
    std::vector<GifColorType> entries(static_cast<size_t>(colors), GifColorType { 0, 0, 0 });
    for (size_t i = 0; i < pixmap.Palette().size(); ++i) {
        const uint32_t rgb = pixmap.Palette()[i];
        entries[i] = { static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
            static_cast<GifByteType>(rgb) };
    }
    ColorMapObject *map = GifMakeMapObject(colors, entries.data());
    bool ok = map && EGifPutScreenDesc(gif, pixmap.Width(), pixmap.Height(), 8, 0, map) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, pixmap.Width(), pixmap.Height(), false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(pixmap.Width()));
    for (int y = 0; ok && y < pixmap.Height(); ++y) {
        std::copy_n(pixmap.Pixels().begin() + y * pixmap.Width(), pixmap.Width(), line.begin());
        ok = EGifPutLine(gif, line.data(), pixmap.Width()) == GIF_OK;
    }
    const int gifError = gif->Error;
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok)
        throw std::runtime_error(std::string("GIF: ") + GifErrorString(ok ? error : gifError));
    return out;
}

} // namespace kestrova::alertd
