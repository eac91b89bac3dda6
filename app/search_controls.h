#pragma once
// The search commands of the main window: the Start/Stop button (3), the netcard box (1016)
// and the two search timers: 1000 (200 ms) merges the device table into the list and counts
// the automatic stop of the first search; 1001 (1,000 ms) sends one search request.
//
// States: stopped (caption "STARTSEARCH", no timer) and searching (caption "STOPSEARCH",
// both timers). The first search stops itself on the 27th merge tick unless print mode is
// on; later searches run until stopped. A netcard change restarts the search. While
// stopped, the follow-up timer (200 ms) lets MoveFollowUp bring cameras that were sent new
// network settings back into the list.
//
// UI thread only. The searcher outlives this object. With manual ticks (tests) the timers
// are only marked running and the owner calls OnSyncTick / OnRequestTick itself.

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace camfleet {

class DeviceSearcher;
class MoveFollowUp;

struct SearchHooks {
    // Start of a search: log out of every camera, empty the list, clear the select-all box.
    std::function<void()> clearDevices;
    // Timer 1000: the table-to-list merge.
    std::function<void()> syncDevices;
    // Global print mode: no automatic stop while it is on.
    std::function<bool()> printMode;
    // Searching began or ended (the status line shows it).
    std::function<void()> stateChanged;
};

class SearchControls : public QWidget {
    Q_OBJECT
public:
    SearchControls(DeviceSearcher& searcher, SearchHooks hooks, bool labMode,
                   QWidget* parent = nullptr);

    // Ticks come from the caller instead of timers.
    void SetManualTicks(bool manual);
    // The follow-up of moved cameras while stopped (null: none). Must outlive this object
    // or be reset before it goes.
    void SetFollowUp(MoveFollowUp* followUp) { followUp_ = followUp; }

    // Fills the netcard box: "ALLNETCARDS" (all adapters, selected), then "[%s]\t[%s]" with
    // the address and description of each adapter in ascending address order.
    void FillNetcardBox();

    // The Start action; logs, empties the list, starts the thread and both timers.
    void Start();
    // The Stop action; found devices stay listed.
    void Stop();
    // Button 3: Stop while searching, else Start.
    void OnStartStopClicked();
    // Netcard box selection changed: stop when searching, then start.
    void OnNetcardChanged();

    // Timer 1000 and timer 1001.
    void OnSyncTick();
    void OnRequestTick();
    // The follow-up timer: merges while a moved camera is followed and no search runs.
    void OnFollowUpTick();

    // After a language switch: the button's caption for the current state and the first
    // netcard line ("ALLNETCARDS") in the current display strings.
    void RetranslateTexts();

    bool IsSearching() const { return searching_; }
    bool IsSyncTimerRunning() const { return syncRunning_; }
    bool IsRequestTimerRunning() const { return requestRunning_; }
    bool IsAutoStopPending() const { return autoStopPending_; }
    // The search thread listens for a moved camera while no search runs.
    bool IsFollowing() const;

    QPushButton* StartStopButton() const { return button_; }
    QComboBox* NetcardBox() const { return netcards_; }
    QWidget* NetcardLabel() const { return label_; }

private:
    void SetSyncTimer(bool on);
    void SetRequestTimer(bool on);
    void SetSearching(bool on);
    void ShowButtonCaption();
    void StopTimersAndThread();

    DeviceSearcher& searcher_;
    SearchHooks hooks_;
    const bool labMode_;
    QPushButton* button_;
    QWidget* label_;
    QComboBox* netcards_;
    QTimer syncTimer_;
    QTimer requestTimer_;
    QTimer followUpTimer_;
    MoveFollowUp* followUp_ = nullptr;
    bool manualTicks_ = false;
    bool syncRunning_ = false;
    bool requestRunning_ = false;
    bool searching_ = false;
    bool autoStopPending_ = true;
    int autoStopTicks_ = 0;
};

}  // namespace camfleet
