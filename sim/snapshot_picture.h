#pragma once
// The pictures a lab camera takes when asked for a snapshot: colour bars with the camera's
// title and its clock drawn on them in a plain dot-matrix lettering, encoded as a baseline
// JPEG (libjpeg). Letters outside the lettering's set (digits, A to Z, a few signs; small
// letters are drawn as capitals) are drawn as a filled box.

#include <ctime>
#include <string>
#include <string_view>

namespace camfleet::sim {

inline constexpr int kSnapshotWidth = 640;
inline constexpr int kSnapshotHeight = 360;

// The picture's text lines: the title on top, "YYYY-MM-DD HH:MM:SS" under it.
std::string SnapshotClockText(const std::tm& local);

// The JPEG bytes of one picture; empty when the encoder failed.
std::string SnapshotJpeg(std::string_view title, const std::tm& local);

// Where the text of the picture is drawn (for tests that look at the decoded picture): the
// band behind both lines, in pixels.
struct SnapshotTextBand {
    int top;
    int bottom;
};
SnapshotTextBand SnapshotTextArea();

}  // namespace camfleet::sim
