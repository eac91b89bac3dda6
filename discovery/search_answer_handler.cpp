#include "discovery/search_answer_handler.h"

namespace camfleet {

int HandleSearchAnswer(DeviceTable& table, const char* text, long length, const char* adapter,
                       AnswerVerdict* verdict) {
    SearchAnswer answer;
    const AnswerVerdict result = BuildSearchAnswer(text, length, &answer);
    if (verdict != nullptr)
        *verdict = result;
    if (result == AnswerVerdict::kNoText)
        return 0;
    if (result == AnswerVerdict::kAccepted)
        table.StoreDeviceAnswer(answer, adapter);
    return -1;
}

}  // namespace camfleet
