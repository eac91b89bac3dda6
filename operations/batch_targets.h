#pragma once
// Which rows a batch operation acts on, and the per-device step every SDK-based operation
// takes before its call. Devices are visited one after another in list order; a failure on
// one never stops the others.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "devicelist/device_list_model.h"
#include "operations/prompt.h"
#include "resources/display_strings.h"

namespace camfleet {

// Not-connected keys of the per-device step.
inline constexpr const char* kNotConnectedConfig = DisplayKey("MSGTIP40");   // configuration
inline constexpr const char* kNotConnectedUpgrade = DisplayKey("MSGTIP19");  // upgrades
inline constexpr const char* kNotConnectedCommand = DisplayKey("MSGTIP23");  // reboot, snapshot

struct TargetSelection {
    enum Kind {
        kTicked,              // every ticked row; none: the "MSGTIP13" box, nothing done
        kSelected,            // the selected row; none: nothing done
        kTickedElseSelected,  // ticked rows; none: the "MSGTIP13" box, then the selected row
        kSerials,             // rows of the given serial numbers (command line)
        kAll,                 // every row (command line --all)
    };
    Kind kind = kTicked;
    int selectedRow = -1;  // first selected row of the view, -1 = none
    QStringList serials;   // kSerials: as typed, case-sensitive
};

// The rows to visit, in list order. Shows the "MSGTIP13" box (caption "ERROR") through
// `prompt` where the selection rules say so. For kSerials, serials without a row are added
// to `unknown` (when given) and skipped; the rows follow list order, each once.
std::vector<int> SelectTargets(const DeviceListModel& model, const TargetSelection& selection,
                               Prompt& prompt, QStringList* unknown = nullptr);

// Outcome of the checks before a device's SDK call.
enum class StepCheck {
    kNoRecord,      // no such row: nothing to do
    kNotLoggedIn,   // skipped without a change to the row
    kNotConnected,  // handle <= 0: the not-connected key is in the state column
    kReady,         // make the call with *handle
};

// Steps 1 to 3 of the per-device step; writes `notConnectedKey` to the state column for a
// logged-in device without a valid handle. Keys here are literals: the state column keeps
// them to show them again after a language switch.
StepCheck CheckDevice(DeviceListModel& model, int row, const char* notConnectedKey, int* handle);

// Runs `call(row, handle)` for every target that passes CheckDevice; `call` writes its own
// result to the state column. Returns the number of calls made.
int ForEachTarget(DeviceListModel& model, const std::vector<int>& rows, const char* notConnectedKey,
                  const std::function<void(int row, int handle)>& call);

// The state column after an immediate call: `okKey` when `result` is 0, else `failKey`.
void ShowCallResult(DeviceListModel& model, int row, int result, const char* okKey,
                    const char* failKey);

}  // namespace camfleet
