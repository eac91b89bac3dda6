#include "sim/snapshot_picture.h"

// libjpeg's header needs the standard I/O declarations first.
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace camfleet::sim {

namespace {

// 5 x 7 dot-matrix glyphs, one row per string, '#' for a lit dot.
struct Glyph {
    char c;
    std::array<const char*, 7> rows;
};

// clang-format off
const Glyph kGlyphs[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'/', {"....#", "...#.", "...#.", "..#..", ".#...", ".#...", "#...."}},
    {'_', {".....", ".....", ".....", ".....", ".....", ".....", "#####"}},
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
};
// clang-format on

const Glyph* GlyphOf(char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& g : kGlyphs)
        if (g.c == c)
            return &g;
    return nullptr;
}

constexpr int kScale = 4;                // screen pixels per dot
constexpr int kAdvance = 6 * kScale;     // a glyph and its gap
constexpr int kLineHeight = 9 * kScale;  // a line and its gap
constexpr int kMargin = 16;              // from the band's edges
constexpr int kBandTop = kSnapshotHeight - 2 * kLineHeight - 2 * kMargin;
constexpr int kMaxGlyphs = (kSnapshotWidth - 2 * kMargin) / kAdvance;

struct Picture {
    std::vector<unsigned char> rgb =
        std::vector<unsigned char>(static_cast<std::size_t>(kSnapshotWidth) * kSnapshotHeight * 3);

    void Fill(int x0, int y0, int x1, int y1, unsigned char r, unsigned char g, unsigned char b) {
        for (int y = std::max(y0, 0); y < std::min(y1, kSnapshotHeight); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, kSnapshotWidth); ++x) {
                unsigned char* p = &rgb[(static_cast<std::size_t>(y) * kSnapshotWidth + x) * 3];
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
    }

    void Text(std::string_view text, int x, int y) {
        int drawn = 0;
        for (char c : text) {
            if (drawn++ == kMaxGlyphs)
                break;  // the rest would run off the picture
            const Glyph* g = GlyphOf(c);
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g == nullptr || g->rows[row][col] == '#')
                        Fill(x + col * kScale, y + row * kScale, x + (col + 1) * kScale,
                             y + (row + 1) * kScale, 255, 255, 255);
            x += kAdvance;
        }
    }
};

}  // namespace

std::string SnapshotClockText(const std::tm& local) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

SnapshotTextBand SnapshotTextArea() {
    return {kBandTop, kSnapshotHeight};
}

std::string SnapshotJpeg(std::string_view title, const std::tm& local) {
    Picture picture;
    // Seven colour bars over the whole picture, then a dark band for the text.
    static const unsigned char kBars[7][3] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192},
                                              {0, 192, 0},     {192, 0, 192}, {192, 0, 0},
                                              {0, 0, 192}};
    for (int i = 0; i < 7; ++i)
        picture.Fill(i * kSnapshotWidth / 7, 0, (i + 1) * kSnapshotWidth / 7, kBandTop, kBars[i][0],
                     kBars[i][1], kBars[i][2]);
    picture.Fill(0, kBandTop, kSnapshotWidth, kSnapshotHeight, 16, 16, 16);
    picture.Text(title, kMargin, kBandTop + kMargin);
    picture.Text(SnapshotClockText(local), kMargin, kBandTop + kMargin + kLineHeight);

    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    // libjpeg's default error handler ends the process; a bad state here is a programming
    // error, and the picture's sizes are fixed, so it cannot come from input.
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kSnapshotWidth;
    info.image_height = kSnapshotHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            &picture.rgb[static_cast<std::size_t>(info.next_scanline) * kSnapshotWidth * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

}  // namespace camfleet::sim
