#pragma once
// What the tool knows about a listed camera's session and about the work running on it, as
// typed values. Decisions (is the camera logged in, has its login come to an end, did an
// operation finish) are made from these, never from a cell's text; the state column's text
// is derived from them when they change (DeviceListModel::SetLoginState, SetJobState).
//
// Thread: the list's (UI) thread, with the model that holds them.

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

namespace camfleet {

// The SDK session of a row.
enum class LoginState : uint8_t {
    kNone,        // no login was made (print mode, or the list was just filled)
    kConnecting,  // a login was made; its outcome has not been reported yet
    kLoggedIn,    // the camera accepted it
    kRefused,     // the SDK or the camera refused it (state column tells why)
    kLost,        // it was logged in and the session ended
};

// The queries that follow a login (version, answer text, serial number).
enum class FollowUpState : uint8_t {
    kNotStarted,
    kRunning,
    kDone,    // the version is known
    kFailed,  // the version query failed (the version column tells so)
};

// The operations that run on listed cameras, each with its own job state per row.
enum class OperationKind : uint8_t {
    kNetwork,        // IP assignment: set-network datagram, then the re-login at the new address
    kConfiguration,  // configuration writes answered by the camera (SET_OK / SET_FAILED)
    kUpgrade,
    kConfigTransfer,
    kMaintenance,
    kSnapshot,
    kTalk,
    kCount
};
inline constexpr std::size_t kOperationCount = static_cast<std::size_t>(OperationKind::kCount);

enum class JobPhase : uint8_t {
    kReady,    // nothing asked of this camera
    kPending,  // asked; waiting for the camera
    kRunning,  // under way (percent tells how far, when known)
    kDone,
    kFailed,  // `key` tells why
};

struct JobState {
    JobPhase phase = JobPhase::kReady;
    int percent = -1;           // 0 to 100 while running, when known; -1 otherwise
    const char* key = nullptr;  // display key the state column shows for it (literal)

    bool Finished() const { return phase == JobPhase::kDone || phase == JobPhase::kFailed; }
};

struct RowState {
    LoginState login = LoginState::kNone;
    FollowUpState followUp = FollowUpState::kNotStarted;
    std::array<JobState, kOperationCount> jobs{};

    bool LoggedIn() const { return login == LoginState::kLoggedIn; }
    // The login has come to an end: logged in with its follow-up queries done or failed, or
    // refused or lost. False while connecting.
    bool LoginSettled() const {
        if (login == LoginState::kLoggedIn)
            return followUp == FollowUpState::kDone || followUp == FollowUpState::kFailed;
        return login == LoginState::kRefused || login == LoginState::kLost;
    }
    const JobState& Job(OperationKind kind) const { return jobs[static_cast<std::size_t>(kind)]; }
    JobState& Job(OperationKind kind) { return jobs[static_cast<std::size_t>(kind)]; }
};

// The state column's text for a job: its key's display string, with ": %02d%" after it while
// running with a known percentage (above 100 counts as 100). Empty without a key.
QString JobStateText(const JobState& job);

}  // namespace camfleet
