#include "app/search_controls.h"

#include <QHBoxLayout>
#include <QLabel>

#include "device/xml_messages.h"
#include "discovery/adapter_map.h"
#include "discovery/device_searcher.h"
#include "operations/move_follow_up.h"
#include "resources/display_strings.h"
#include "resources/log.h"

namespace camfleet {

namespace {

constexpr int kSyncPeriodMs = 200;
constexpr int kRequestPeriodMs = 1000;
// The first search stops on the tick after the counter passed this value (the 27th tick).
constexpr int kAutoStopAfter = 25;

}  // namespace

SearchControls::SearchControls(DeviceSearcher& searcher, SearchHooks hooks, bool labMode,
                               QWidget* parent)
    : QWidget(parent),
      searcher_(searcher),
      hooks_(std::move(hooks)),
      labMode_(labMode),
      button_(new QPushButton(this)),
      label_(new QLabel(this)),
      netcards_(new QComboBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_);
    layout->addSpacing(12);
    layout->addWidget(label_);
    layout->addWidget(netcards_, 1);
    button_->setMinimumWidth(120);
    netcards_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    netcards_->setMinimumContentsLength(24);
    syncTimer_.setInterval(kSyncPeriodMs);
    requestTimer_.setInterval(kRequestPeriodMs);
    connect(&syncTimer_, &QTimer::timeout, this, &SearchControls::OnSyncTick);
    connect(&requestTimer_, &QTimer::timeout, this, &SearchControls::OnRequestTick);
    followUpTimer_.setInterval(kSyncPeriodMs);
    connect(&followUpTimer_, &QTimer::timeout, this, &SearchControls::OnFollowUpTick);
    followUpTimer_.start();
    connect(button_, &QPushButton::clicked, this, &SearchControls::OnStartStopClicked);
    connect(netcards_, &QComboBox::activated, this, &SearchControls::OnNetcardChanged);
}

void SearchControls::FillNetcardBox() {
    netcards_->clear();
    netcards_->addItem(GetDisplayString("ALLNETCARDS"), QVariant::fromValue<quint32>(0));
    for (const auto& [address, adapter] : EnumAdapters(labMode_)) {
        const QString line = QString::asprintf("[%s]\t[%s]", AddressText(address).c_str(),
                                               adapter.description.c_str());
        netcards_->addItem(line, QVariant::fromValue<quint32>(address));
    }
    netcards_->setCurrentIndex(0);
}

void SearchControls::Start() {
    if (hooks_.clearDevices)
        hooks_.clearDevices();
    searcher_.SetNetcardSelection(netcards_->currentData().value<quint32>());
    if (searcher_.StartSearch() == 0)
        SetRequestTimer(true);
    SetSyncTimer(true);
    SetSearching(true);
}

void SearchControls::Stop() {
    StopTimersAndThread();
    SetSearching(false);
}

void SearchControls::StopTimersAndThread() {
    SetSyncTimer(false);
    if (searcher_.StopSearchThread() == 1)
        SetRequestTimer(false);
}

void SearchControls::OnStartStopClicked() {
    if (searching_)
        Stop();
    else
        Start();
}

void SearchControls::OnNetcardChanged() {
    if (searching_)
        Stop();
    Start();
}

void SearchControls::OnSyncTick() {
    if (hooks_.syncDevices)
        hooks_.syncDevices();
    const bool printMode = hooks_.printMode && hooks_.printMode();
    if (!autoStopPending_ || printMode || !searching_)
        return;
    if (autoStopTicks_++ > kAutoStopAfter) {
        autoStopTicks_ = 0;
        autoStopPending_ = false;
        Stop();
    }
}

void SearchControls::SetManualTicks(bool manual) {
    manualTicks_ = manual;
    if (manual)
        followUpTimer_.stop();
    else
        followUpTimer_.start();
}

bool SearchControls::IsFollowing() const {
    return followUp_ != nullptr && followUp_->Following();
}

void SearchControls::OnFollowUpTick() {
    if (searching_ || followUp_ == nullptr)
        return;
    if (followUp_->Tick() && hooks_.syncDevices)
        hooks_.syncDevices();
}

void SearchControls::OnRequestTick() {
    searcher_.SendSearchMessage(kMsgSearch, nullptr, 0);
}

void SearchControls::SetSyncTimer(bool on) {
    syncRunning_ = on;
    if (on && !manualTicks_)
        syncTimer_.start();
    else
        syncTimer_.stop();
}

void SearchControls::SetRequestTimer(bool on) {
    requestRunning_ = on;
    if (on && !manualTicks_)
        requestTimer_.start();
    else
        requestTimer_.stop();
}

void SearchControls::SetSearching(bool on) {
    searching_ = on;
    ShowButtonCaption();
    if (hooks_.stateChanged)
        hooks_.stateChanged();
}

void SearchControls::ShowButtonCaption() {
    button_->setText(GetDisplayString(searching_ ? "STOPSEARCH" : "STARTSEARCH"));
}

void SearchControls::RetranslateTexts() {
    ShowButtonCaption();
    if (netcards_->count() > 0)
        netcards_->setItemText(0, GetDisplayString("ALLNETCARDS"));
}

}  // namespace camfleet
