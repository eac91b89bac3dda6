#include "app/search_controls.h"

#include <QHBoxLayout>
#include <QLabel>

#include "discovery/adapter_map.h"
#include "operations/fleet_session.h"
#include "resources/display_strings.h"

namespace camfleet {

SearchControls::SearchControls(FleetSession& session, SearchHooks hooks, bool labMode,
                               QWidget* parent)
    : QWidget(parent),
      session_(session),
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
    connect(button_, &QPushButton::clicked, this, &SearchControls::OnStartStopClicked);
    connect(netcards_, &QComboBox::activated, this, &SearchControls::OnNetcardChanged);
    connect(&session_, &FleetSession::SearchStateChanged, this, [this] {
        ShowButtonCaption();
        if (hooks_.stateChanged)
            hooks_.stateChanged();
    });
    connect(&session_, &FleetSession::ListCleared, this, [this] {
        if (hooks_.listCleared)
            hooks_.listCleared();
    });
    ShowButtonCaption();
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
    session_.StartSearch(netcards_->currentData().value<quint32>());
}

void SearchControls::Stop() {
    session_.StopSearch();
}

void SearchControls::OnStartStopClicked() {
    if (session_.Searching())
        Stop();
    else
        Start();
}

void SearchControls::OnNetcardChanged() {
    Start();  // a running search stops first
}

void SearchControls::OnSyncTick() {
    session_.MergeTick();
}

void SearchControls::OnRequestTick() {
    session_.RequestTick();
}

void SearchControls::OnFollowUpTick() {
    session_.FollowUpTick();
}

bool SearchControls::IsSearching() const {
    return session_.Searching();
}

bool SearchControls::IsSyncTimerRunning() const {
    return session_.MergeTimerRunning();
}

bool SearchControls::IsRequestTimerRunning() const {
    return session_.RequestTimerRunning();
}

bool SearchControls::IsAutoStopPending() const {
    return session_.AutoStopPending();
}

bool SearchControls::IsFollowing() const {
    return session_.Following();
}

void SearchControls::ShowButtonCaption() {
    button_->setText(GetDisplayString(session_.Searching() ? "STOPSEARCH" : "STARTSEARCH"));
}

void SearchControls::RetranslateTexts() {
    ShowButtonCaption();
    if (netcards_->count() > 0)
        netcards_->setItemText(0, GetDisplayString("ALLNETCARDS"));
}

}  // namespace camfleet
