#include "widgets/device_columns.h"

namespace camfleet {

DeviceColumnWidths DeviceListColumnWidths(bool styleSwitch) {
    DeviceColumnWidths widths = {120, 60,  120, 100, 0,   280, 300, 80,
                                 130, 120, 130, 100, 100, 60,  100, 50};
    widths[kColumnPreview] = styleSwitch ? 60 : 0;
    widths[kColumnNetcard] = styleSwitch ? 0 : 60;
    return widths;
}

}  // namespace camfleet
