// The lab cameras' snapshot pictures, read back with libjpeg: a real JPEG of the announced size
// with the colour bars and the title and clock lettering where they belong.

#include "sim/snapshot_picture.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>

#include <string>
#include <vector>

namespace camfleet::sim {
namespace {

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

Decoded Decode(const std::string& jpeg) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    Decoded out;
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        out.width = static_cast<int>(info.output_width);
        out.height = static_cast<int>(info.output_height);
        out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = &out.rgb[info.output_scanline * out.width * 3];
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    return out;
}

std::tm Noon() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 12;
    t.tm_min = 34;
    t.tm_sec = 56;
    return t;
}

// Bright lettering in the dark band, the bars above it, and nothing but the band's dark grey
// right of the text.
TEST(SnapshotPicture, IsAJpegWithBarsTitleAndClock) {
    const std::string jpeg = SnapshotJpeg("Gate 1", Noon());
    ASSERT_GT(jpeg.size(), 1000u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    const Decoded picture = Decode(jpeg);
    ASSERT_EQ(picture.width, kSnapshotWidth);
    ASSERT_EQ(picture.height, kSnapshotHeight);
    const unsigned char* bar = picture.At(10, 10);  // the first bar: light grey
    EXPECT_NEAR(bar[0], 192, 12);
    EXPECT_NEAR(bar[2], 192, 12);
    const unsigned char* blue = picture.At(kSnapshotWidth - 10, 10);  // the last bar
    EXPECT_LT(blue[0], 40);
    EXPECT_GT(blue[2], 150);
    const SnapshotTextBand band = SnapshotTextArea();
    int lit = 0;
    for (int y = band.top; y < band.bottom; ++y)
        for (int x = 0; x < 400; ++x)
            lit += picture.At(x, y)[1] > 200 ? 1 : 0;
    EXPECT_GT(lit, 2000) << "the title and the clock are drawn";
    const unsigned char* empty = picture.At(kSnapshotWidth - 20, band.bottom - 10);
    EXPECT_LT(empty[1], 60);
    EXPECT_EQ(SnapshotClockText(Noon()), "2026-12-08 12:34:56");
}

// Another second, another picture; a title of letters outside the lettering and longer than
// the picture is wide still makes a picture.
TEST(SnapshotPicture, ClockAndAnyTitleChangeThePicture) {
    std::tm later = Noon();
    later.tm_sec += 1;
    EXPECT_NE(SnapshotJpeg("Gate 1", Noon()), SnapshotJpeg("Gate 1", later));
    const std::string odd = SnapshotJpeg(std::string(400, '\xE4') + "\n\t<&>", Noon());
    EXPECT_EQ(Decode(odd).width, kSnapshotWidth);
    EXPECT_EQ(Decode(SnapshotJpeg("", Noon())).height, kSnapshotHeight);
}

}  // namespace
}  // namespace camfleet::sim
