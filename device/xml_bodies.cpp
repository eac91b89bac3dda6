// Command bodies carried by discovery messages and the stream-access write document.
#include <string_view>

#include "device/bounded_text.h"
#include "device/xml_messages.h"

namespace camfleet {

namespace {

// Attribute-escaped text of a fixed field (which may lack its terminating zero).
template <std::size_t N>
std::string EscField(const char (&field)[N]) {
    std::string_view view(field, N);
    return EscapeAttribute(view.substr(0, view.find('\0')));
}

void AppendSerial(BoundedText* out, const char* serial) {
    out->Printf("<IPC_SERIALNUMBER\r\nSerialNumber=\"%s\"\r\n/>\r\n",
                EscapeAttribute(serial).c_str());
}

}  // namespace

std::string PrintSerialElement(const char* serial) {
    BoundedText out(kBodyBufferSize);
    AppendSerial(&out, serial);
    return out.Finish("serial number body");
}

std::string PrintSerialElementOneLine(const char* serial) {
    BoundedText out(kBodyBufferSize);
    out.Printf("<IPC_SERIALNUMBER SerialNumber=\"%s\" />\r\n", EscapeAttribute(serial).c_str());
    return out.Finish("serial number body");
}

std::string PrintNetworkBody(const char* serial, const NetworkBlock& net) {
    BoundedText out(kBodyBufferSize);
    AppendSerial(&out, serial);
    out.Printf("<LANConfig\r\n");
    out.Printf("MacAddress=\"%s\"\r\n", EscField(net.macAddress).c_str());
    out.Printf("DHCP=\"%d\"\r\n", net.dhcp);
    out.Printf("IPAddress=\"%s\"\r\n", EscField(net.ipAddress).c_str());
    out.Printf("Netmask=\"%s\"\r\n", EscField(net.netmask).c_str());
    out.Printf("Gateway=\"%s\"\r\n", EscField(net.gateway).c_str());
    out.Printf("DNS1=\"%s\"\r\n", EscField(net.dns1).c_str());
    out.Printf("DNS2=\"%s\"\r\n", EscField(net.dns2).c_str());
    out.Printf("/>\r\n");
    return out.Finish("network body");
}

std::string PrintFhConfigBody(const char* serial, const char (&fields)[7][32]) {
    BoundedText out(kBodyBufferSize);
    out.Printf("<IPC_SERIALNUMBER SerialNumber=\"%s\" />\r\n", EscapeAttribute(serial).c_str());
    out.Printf(
        "<FH_CONFIG>\n<SYSTEM DEVICETYPE=\"%s\" EXTNUMBER=\"%s\" MAINNUMBER=\"%s\" "
        "EXTNAME=\"%s\" ADDRESSBOXIP=\"%s\" NOTES=\"%s\" MANAGECENTER=\"%s\" />\n"
        "</FH_CONFIG>",
        EscField(fields[0]).c_str(), EscField(fields[1]).c_str(), EscField(fields[2]).c_str(),
        EscField(fields[3]).c_str(), EscField(fields[4]).c_str(), EscField(fields[5]).c_str(),
        EscField(fields[6]).c_str());
    return out.Finish("FH_CONFIG body");
}

std::string PrintStreamAccessBody(const StreamAccessRecord& a) {
    BoundedText out(kBodyBufferSize);
    out.Printf("<MediaStreamConfig>\r\n");
    out.Printf("<StreamAccess ");
    out.Printf(
        "Auth=\"%d\" VideoPort=\"%d\" RTPOverRTSP=\"%d\" enable_rtsp=\"%d\" "
        "enable_onvif=\"%d\" enable_web=\"%d\" OnvifAuth=\"%d\" WEBPort=\"%d\" "
        "enable_comm=\"%d\" PTZPort=\"%d\" \r\n",
        a.auth, a.videoPort, a.rtpOverRtsp, a.enableRtsp, a.enableOnvif, a.enableWeb, a.onvifAuth,
        a.webPort, a.enableComm, a.ptzPort);
    out.Printf(
        "enable_hik=\"%d\" hik_port=\"%d\" hik_auth=\"%d\" enable_dh=\"%d\" dh_port=\"%u\" "
        "dh_auth=\"%d\" enable_tst=\"%d\" enable_rtmp=\"%d\" rtmp_port=\"%d\" "
        "streamno=\"%d\" rtmp_type=\"%d\" ",
        a.enableHik, a.hikPort, a.hikAuth, a.enableDh, static_cast<unsigned>(a.dhPort), a.dhAuth,
        a.enableTst, a.enableRtmp, a.rtmpPort, a.streamNo, a.rtmpType);
    out.Printf("rtmp_server=\"%s\" rtmp_appname=\"%s\" rtmp_streamid=\"%s\" \r\n",
               EscField(a.rtmpServer).c_str(), EscField(a.rtmpAppName).c_str(),
               EscField(a.rtmpStreamId).c_str());
    out.Printf(
        "Multicast0_enable=\"%d\" Multicast0_port=\"%u\" Multicast0_IP=\"%u\" "
        "Multicast1_enable=\"%d\" Multicast1_port=\"%u\" Multicast1_IP=\"%u\" ",
        a.multicast0Enable, static_cast<unsigned>(a.multicast0Port),
        static_cast<unsigned>(a.multicast0Ip), a.multicast1Enable,
        static_cast<unsigned>(a.multicast1Port), static_cast<unsigned>(a.multicast1Ip));
    out.Printf("/>\r\n");
    out.Printf("</MediaStreamConfig>\r\n");
    return out.Finish("stream access body");
}

}  // namespace camfleet
