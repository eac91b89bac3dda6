#include "device/sdk_documents.h"

#include "device/bounded_text.h"
#include "device/xml_messages.h"

namespace camfleet {

std::string PrintAdminPasswordDocument(const char* password) {
    return FormatText(
        "<UserConfig><Account Username=\"admin\" Password=\"%s\" Group=\"Administrator\" "
        "Status=\"Enable\" /></UserConfig>",
        EscapeAttribute(password).c_str());
}

std::string PrintLanguageDocument(const char* language) {
    return FormatText("<MiscConfig Language=\"%s\" />", EscapeAttribute(language).c_str());
}

std::string PrintSyncTimeRequest(const RequestTime& t) {
    return FormatText(
        "<REQUEST_PARAM\r\nTime=\"%04d%02d%02d %02d:%02d:%02d\"\r\nTimeZone=\"1200\"\n/>", t.year,
        t.month, t.day, t.hour, t.minute, t.second);
}

std::string PrintIoOutputRequest(int output) {
    return FormatText("<REQUEST_PARAM ChannelNo=\"0\"Output=\"%d\"/>\n", output);
}

std::string PrintSnapshotRequest() {
    return "<REQUEST_PARAM Stream=\"0\"Quality=\"100\"/>\n";
}

std::string PrintDayNightRequest(bool night) {
    return night ? "<REQUEST_PARAM Mode=\"NightMode\" />\n"
                 : "<REQUEST_PARAM Mode=\"DayMode\" />\n";
}

std::string PrintFactoryModeRequest(int mode) {
    return FormatText("<REQUEST_PARAM Mode=\"%d\"/>\n", mode);
}

}  // namespace camfleet
