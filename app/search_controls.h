#pragma once
// The search commands of the main window, a view of the fleet session's search: the
// Start/Stop button (3) and the netcard box (1016). The session holds the search's state and
// timing (merge every 200 ms, a request every second, the first search's automatic stop,
// the follow-up of moved cameras); this class shows it and passes the clicks on.
//
// UI thread only. The session outlives this object.

#include <QComboBox>
#include <QPushButton>
#include <QWidget>

#include <functional>

namespace camfleet {

class FleetSession;

struct SearchHooks {
    // A fresh search emptied the list: the window's own parts of the clearing.
    std::function<void()> listCleared;
    // Searching began or ended (the status line shows it).
    std::function<void()> stateChanged;
};

class SearchControls : public QWidget {
    Q_OBJECT
public:
    SearchControls(FleetSession& session, SearchHooks hooks, bool labMode,
                   QWidget* parent = nullptr);

    // Fills the netcard box: "ALLNETCARDS" (all adapters, selected), then "[%s]\t[%s]" with
    // the address and description of each adapter in ascending address order.
    void FillNetcardBox();

    // The Start action: a fresh search on the selected adapter.
    void Start();
    // The Stop action; found devices stay listed.
    void Stop();
    // Button 3: Stop while searching, else Start.
    void OnStartStopClicked();
    // Netcard box selection changed: stop when searching, then start.
    void OnNetcardChanged();

    // The session's ticks, for tests with manual ticks: timer 1000 (merge and automatic
    // stop), timer 1001 (search request) and the follow-up tick.
    void OnSyncTick();
    void OnRequestTick();
    void OnFollowUpTick();

    // After a language switch: the button's caption for the current state and the first
    // netcard line ("ALLNETCARDS") in the current display strings.
    void RetranslateTexts();

    bool IsSearching() const;
    bool IsSyncTimerRunning() const;
    bool IsRequestTimerRunning() const;
    bool IsAutoStopPending() const;
    // The search thread listens for a moved camera while no search runs.
    bool IsFollowing() const;

    QPushButton* StartStopButton() const { return button_; }
    QComboBox* NetcardBox() const { return netcards_; }
    QWidget* NetcardLabel() const { return label_; }

private:
    void ShowButtonCaption();

    FleetSession& session_;
    SearchHooks hooks_;
    const bool labMode_;
    QPushButton* button_;
    QWidget* label_;
    QComboBox* netcards_;
};

}  // namespace camfleet
