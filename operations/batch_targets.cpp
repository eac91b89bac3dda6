#include "operations/batch_targets.h"

#include "resources/display_strings.h"

namespace camfleet {

namespace {

void RefuseNoTicked(Prompt& prompt) {
    prompt.ShowMessage(DisplayKey("MSGTIP13"), DisplayKey("ERROR"), PromptIcon::kError);
}

std::vector<int> TickedRows(const DeviceListModel& model) {
    std::vector<int> rows;
    for (int row = 0; row < model.Count(); ++row)
        if (model.IsChecked(row))
            rows.push_back(row);
    return rows;
}

}  // namespace

std::vector<int> SelectTargets(const DeviceListModel& model, const TargetSelection& selection,
                               Prompt& prompt, QStringList* unknown) {
    const bool selectedValid = selection.selectedRow >= 0 && selection.selectedRow < model.Count();
    switch (selection.kind) {
        case TargetSelection::kTicked: {
            std::vector<int> rows = TickedRows(model);
            if (rows.empty())
                RefuseNoTicked(prompt);
            return rows;
        }
        case TargetSelection::kSelected:
            return selectedValid ? std::vector<int>{selection.selectedRow} : std::vector<int>{};
        case TargetSelection::kTickedElseSelected: {
            std::vector<int> rows = TickedRows(model);
            if (!rows.empty())
                return rows;
            RefuseNoTicked(prompt);
            return selectedValid ? std::vector<int>{selection.selectedRow} : std::vector<int>{};
        }
        case TargetSelection::kSerials: {
            std::vector<bool> wanted(static_cast<std::size_t>(model.Count()), false);
            for (const QString& serial : selection.serials) {
                const int row = model.FindRowByKey(serial.toUtf8().constData());
                if (row >= 0)
                    wanted[static_cast<std::size_t>(row)] = true;
                else if (unknown != nullptr)
                    unknown->append(serial);
            }
            std::vector<int> rows;
            for (int row = 0; row < model.Count(); ++row)
                if (wanted[static_cast<std::size_t>(row)])
                    rows.push_back(row);
            return rows;
        }
        case TargetSelection::kAll: {
            std::vector<int> rows(static_cast<std::size_t>(model.Count()));
            for (int row = 0; row < model.Count(); ++row)
                rows[static_cast<std::size_t>(row)] = row;
            return rows;
        }
    }
    return {};
}

StepCheck CheckDevice(DeviceListModel& model, int row, const char* notConnectedKey, int* handle) {
    const DeviceRecord* record = model.Record(row);
    if (record == nullptr)
        return StepCheck::kNoRecord;
    if (!model.State(row)->LoggedIn())
        return StepCheck::kNotLoggedIn;
    if (record->loginHandle <= 0) {
        model.SetStateKey(row, notConnectedKey);
        return StepCheck::kNotConnected;
    }
    *handle = record->loginHandle;
    return StepCheck::kReady;
}

int ForEachTarget(DeviceListModel& model, const std::vector<int>& rows, const char* notConnectedKey,
                  const std::function<void(int row, int handle)>& call) {
    int calls = 0;
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(model, row, notConnectedKey, &handle) != StepCheck::kReady)
            continue;
        call(row, handle);
        ++calls;
    }
    return calls;
}

void ShowCallResult(DeviceListModel& model, int row, int result, const char* okKey,
                    const char* failKey) {
    model.SetStateKey(row, result == 0 ? okKey : failKey);
}

}  // namespace camfleet
