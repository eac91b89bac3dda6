#pragma once
// Hand-off of one received answer from the search thread to the device table.

#include "discovery/device_table.h"
#include "discovery/search_answer_parser.h"

namespace camfleet {

// Builds the answer block from `text` (`length` bytes) and, when it passes every check,
// stores it under its serial number with `adapter` (the dotted local address that
// received it). Returns 0 for a null text or negative length, -1 otherwise; `verdict`
// (optional) tells what happened.
int HandleSearchAnswer(DeviceTable& table, const char* text, long length, const char* adapter,
                       AnswerVerdict* verdict = nullptr);

}  // namespace camfleet
