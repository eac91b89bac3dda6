#include "sim/virtual_camera.h"

#include <tinyxml2.h>

#include <cstdlib>

#include "device/xml_messages.h"
#include "platform/number_text.h"

namespace camfleet::sim {

namespace {

// MESSAGE_BODY of a request document, or nullptr.
const tinyxml2::XMLElement* RequestBody(const tinyxml2::XMLDocument& doc) {
    const tinyxml2::XMLElement* root = doc.RootElement();
    return root != nullptr ? root->FirstChildElement("MESSAGE_BODY") : nullptr;
}

std::string SerialOf(const tinyxml2::XMLElement* body) {
    const tinyxml2::XMLElement* e = body->FirstChildElement("IPC_SERIALNUMBER");
    const char* serial = e != nullptr ? e->Attribute("SerialNumber") : nullptr;
    return serial != nullptr ? serial : "";
}

}  // namespace

VirtualCamera::VirtualCamera(CameraProfile factory, SimClock::time_point bootTime)
    : factory_(factory),
      profile_(std::move(factory)),
      bootTime_(bootTime),
      initialRunningTime_(profile_.initialRunningTime) {}

int VirtualCamera::RunningTime(SimClock::time_point now) const {
    const auto up = std::chrono::duration_cast<std::chrono::seconds>(now - bootTime_).count();
    return initialRunningTime_ + static_cast<int>(up > 0 ? up : 0);
}

std::string VirtualCamera::Answer(SimClock::time_point now) const {
    return PrintCameraAnswer(profile_, RunningTime(now), hostility_);
}

VirtualCamera::Reaction VirtualCamera::OnDatagram(std::string_view text, SimClock::time_point now,
                                                  const AddressPool& pool) {
    Reaction reaction;
    MessageHeader header;
    if (IsSilent(now) || ParseMessageHeader(text, &header) != 0)
        return reaction;
    if (header.root != kRootKestravin)
        return reaction;
    const int code = TextToInt(header.msgCode);
    const int flag = TextToInt(header.msgFlag);
    if (code == kMsgSearch) {
        reaction.answer = hostility_ != Hostility::kSilent;
        return reaction;
    }
    const std::string before = profile_.ipAddress;
    ApplyCommand(code, flag, text, now, pool);
    reaction.addressChanged = profile_.ipAddress != before;
    return reaction;
}

bool VirtualCamera::ApplyCommand(int code, int flag, std::string_view text,
                                 SimClock::time_point now, const AddressPool& pool) {
    tinyxml2::XMLDocument doc;
    doc.Parse(text.data(), text.size());
    const tinyxml2::XMLElement* body = RequestBody(doc);
    if (body == nullptr || SerialOf(body) != profile_.serialNumber)
        return false;
    switch (code) {
        case kMsgSetNetwork:
            return !ignoreNetwork_ && ApplyNetwork(body, pool);
        case kMsgRestore:
            profile_ = factory_;
            ++restoreCount_;
            return true;
        case kMsgReboot:
            Reboot(now, rebootSilence_);
            return true;
        case kMsgMode:
            mode_ = flag;
            return true;
        default:
            return false;
    }
}

bool VirtualCamera::ApplyNetwork(const tinyxml2::XMLElement* body, const AddressPool& pool) {
    NetworkBlock net{};
    if (ParseLanConfig(body, &net) != 0)
        return false;  // e.g. FH_CONFIG
    profile_.dhcp = net.dhcp;
    if (net.dhcp == 1) {
        const std::string leased = pool ? pool() : std::string();
        if (!leased.empty())
            profile_.ipAddress = leased;
        return true;
    }
    profile_.ipAddress = net.ipAddress;
    profile_.netmask = net.netmask;
    profile_.gateway = net.gateway;
    profile_.dns1 = net.dns1;
    profile_.dns2 = net.dns2;
    return true;
}

void VirtualCamera::Restart(SimClock::time_point now, bool restore) {
    if (restore) {
        const std::string address = profile_.ipAddress;
        profile_ = factory_;
        profile_.ipAddress = address;
        ++restoreCount_;
    }
    Reboot(now, rebootSilence_);
}

void VirtualCamera::InstallFirmware(SimClock::time_point now, const std::string& version,
                                    SimClock::duration silence) {
    profile_.version = factory_.version = version;
    Reboot(now, silence);
}

void VirtualCamera::SetReportedModel(const std::string& model) {
    profile_.model = factory_.model = model;
}

void VirtualCamera::Reboot(SimClock::time_point now, SimClock::duration silence) {
    ++rebootCount_;
    silentUntil_ = now + silence;
    bootTime_ = silentUntil_;
    initialRunningTime_ = 0;
}

}  // namespace camfleet::sim
