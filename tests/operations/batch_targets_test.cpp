// Target selection and the per-device step shared by every batch operation.

#include <gtest/gtest.h>

#include "operations/batch_targets.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

class BatchTargetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddRow(model_, "A", 11, true);
        AddRow(model_, "B", 12, true);
        AddRow(model_, "C", 13, true);
    }
    DeviceListModel model_;
    ScriptedPrompt prompt_;
};

TEST_F(BatchTargetsTest, NoTickedRowIsRefusedAndNoDeviceContacted) {
    const std::vector<int> rows = SelectTargets(model_, {}, prompt_);
    EXPECT_TRUE(rows.empty());
    int calls = ForEachTarget(model_, rows, kNotConnectedConfig, [](int, int) {});
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(prompt_.Records().size(), 1u);
    EXPECT_EQ(prompt_.Records()[0].kind, ScriptedPrompt::Record::kMessage);
    EXPECT_EQ(prompt_.Records()[0].textKey, "MSGTIP13");
    EXPECT_EQ(prompt_.Records()[0].captionKey, "ERROR");
    EXPECT_EQ(prompt_.Records()[0].icon, PromptIcon::kError);
    for (int row = 0; row < model_.Count(); ++row)
        EXPECT_EQ(model_.CellText(row, kColumnState), QString());
}

TEST_F(BatchTargetsTest, SelectionForms) {
    const struct {
        const char* name;
        TargetSelection selection;
        std::vector<int> ticked;
        std::vector<int> expected;
        bool refused;  // the MSGTIP13 box was shown
    } cases[] = {
        {"ticked in list order", {TargetSelection::kTicked, 0, {}}, {2, 0}, {0, 2}, false},
        {"selected row", {TargetSelection::kSelected, 1, {}}, {0}, {1}, false},
        {"no selected row", {TargetSelection::kSelected, -1, {}}, {0}, {}, false},
        {"selected row out of range", {TargetSelection::kSelected, 9, {}}, {}, {}, false},
        {"ticked before selected", {TargetSelection::kTickedElseSelected, 1, {}}, {2}, {2}, false},
        {"else the selected one", {TargetSelection::kTickedElseSelected, 1, {}}, {}, {1}, true},
        {"serials in list order",
         {TargetSelection::kSerials, -1, {"C", "A", "C"}},
         {},
         {0, 2},
         false},
        {"serials are case-sensitive", {TargetSelection::kSerials, -1, {"b"}}, {}, {}, false},
        {"all", {TargetSelection::kAll, -1, {}}, {}, {0, 1, 2}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model_.SetAllChecked(false);
        for (int row : c.ticked)
            model_.SetChecked(row, true);
        ScriptedPrompt prompt;
        EXPECT_EQ(SelectTargets(model_, c.selection, prompt), c.expected);
        EXPECT_EQ(prompt.MessageKeys(), c.refused ? QStringList{"MSGTIP13"} : QStringList{});
    }
    QStringList unknown;
    SelectTargets(model_, {TargetSelection::kSerials, -1, {"A", "Z", "b"}}, prompt_, &unknown);
    EXPECT_EQ(unknown, (QStringList{"Z", "b"}));
}

TEST_F(BatchTargetsTest, PerDeviceStep) {
    model_.SetLoginState(1, LoginState::kLost);  // skipped silently
    model_.SetLoginHandle(2, 0);                 // logged in without a handle: not connected
    model_.SetStateText(1, "before");
    std::vector<int> called;
    const int calls =
        ForEachTarget(model_, {0, 1, 2, 7}, kNotConnectedUpgrade, [&](int row, int handle) {
            called.push_back(row);
            EXPECT_EQ(handle, 11);
            ShowCallResult(model_, row, 0, DisplayKey("MSGTIP10"), DisplayKey("MSGTIP4"));
        });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(called, std::vector<int>{0});
    EXPECT_EQ(model_.CellText(0, kColumnState), Shown("MSGTIP10"));
    EXPECT_EQ(model_.CellText(1, kColumnState), "before");
    EXPECT_EQ(model_.CellText(2, kColumnState), Shown("MSGTIP19"));

    int handle = 0;
    EXPECT_EQ(CheckDevice(model_, 2, kNotConnectedCommand, &handle), StepCheck::kNotConnected);
    EXPECT_EQ(model_.CellText(2, kColumnState), Shown("MSGTIP23"));
    EXPECT_EQ(CheckDevice(model_, -1, kNotConnectedCommand, &handle), StepCheck::kNoRecord);
    ShowCallResult(model_, 0, -7, DisplayKey("MSGTIP10"), DisplayKey("MSGTIP4"));
    EXPECT_EQ(model_.CellText(0, kColumnState), Shown("MSGTIP4"));
}

TEST(ScriptedPrompt, AnswersInOrderAndNoWhenNothingIsQueued) {
    ScriptedPrompt prompt;
    prompt.QueueAnswer(true);
    prompt.QueueChoice("/tmp/fw.bin");
    EXPECT_TRUE(prompt.AskYesNo("MSGTIP27", "TEXT21"));
    EXPECT_FALSE(prompt.AskYesNo("MSGTIP27", "TEXT21"));
    EXPECT_EQ(prompt.ChooseFile("UPLOAD", "*.bin", false), "/tmp/fw.bin");
    EXPECT_EQ(prompt.ChooseFolder("UPLOAD"), QString());
    ASSERT_EQ(prompt.Records().size(), 4u);
    EXPECT_EQ(prompt.Records()[1].captionKey, "TEXT21");
    EXPECT_EQ(prompt.Records()[3].kind, ScriptedPrompt::Record::kFolder);
}

}  // namespace
}  // namespace camfleet
