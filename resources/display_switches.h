#pragma once
// Display switches: "display.xml" in the program directory shows or hides single controls
// of the main window and turns four features on or off:
//   STYLE (32972)                the reduced main-window style
//   IDC_QRENCODE (1078)          the QR code panel
//   IDC_CHECK_PRINTMODE (1008)   the print-mode box and the QR print settings menu item
//   ID_SHOW_P2PSERVICE (33015)   the P2P item of the context menu
//
// File layout: <root><NAME display="0|1"/>...</root>, one element per switch.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "device/codes.h"

namespace camfleet {

struct DisplaySwitch {
    const char* name;  // element name in "display.xml"
    int32_t id;        // control or command id of the main window
    int32_t display;   // 1 shown / on, 0 hidden / off
};

inline constexpr std::size_t kDisplaySwitchCount = 49;
inline constexpr int32_t kStyleSwitchId = kIdStyle;        // STYLE
inline constexpr int32_t kQrEncodeSwitchId = kIdQrEncode;  // IDC_QRENCODE

// The built-in table with its default flags.
extern const std::array<DisplaySwitch, kDisplaySwitchCount> DisplaySwitches;

// One main window's switch flags: starts from the defaults of DisplaySwitches, then
// Load() applies "display.xml". Not synchronised: owned and read by the UI thread, or
// filled once and only read afterwards.
class CLoadDisplayCfg {
public:
    CLoadDisplayCfg();

    // Applies the file at `path`: each child element of the root element whose name equals
    // an entry's name byte for byte sets that entry to 1 when its `display` attribute reads
    // as an integer above 0, else 0 (also when the attribute is missing). Unknown elements
    // are ignored; entries without an element keep their flag. A missing or broken file
    // changes nothing. Returns false in that case. With STYLE on, IDC_QRENCODE is taken as
    // off whatever the file says.
    bool Load(const std::string& path);
    // Load() of "display.xml" in ProgramDirectory().
    bool Load();

    // The flag of the entry with `id`; 1 when no entry has it.
    int32_t IsDisplayed(int32_t id) const;

    // Every entry as (id, flag), in table order: what a view applies to its controls.
    std::vector<std::pair<int32_t, int32_t>> SwitchStates() const;

    const std::array<DisplaySwitch, kDisplaySwitchCount>& Switches() const { return switches_; }

private:
    void SetDisplayed(int32_t id, int32_t display);

    std::array<DisplaySwitch, kDisplaySwitchCount> switches_;
};

// Whether a `display` attribute value turns its switch on: the leading integer of the text
// (after optional blanks and a sign; any text after the digits is ignored) is above 0, as
// with atoi, but without overflow. Null or no digits -> false.
bool DisplayValueIsOn(const char* value);

}  // namespace camfleet
