#pragma once
// Column widths of the device list in pixels, as the list shows them. A width of 0 hides the
// column. The STYLE display switch shows the preview column and hides the netcard column.

#include <array>

#include "devicelist/device_row_text.h"

namespace camfleet {

using DeviceColumnWidths = std::array<int, kDeviceColumnCount>;

// Widths of the sixteen columns; `styleSwitch` is the STYLE display switch.
DeviceColumnWidths DeviceListColumnWidths(bool styleSwitch);

}  // namespace camfleet
