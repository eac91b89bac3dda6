#include "devicelist/row_state.h"

#include <algorithm>

#include "resources/display_strings.h"

namespace camfleet {

QString JobStateText(const JobState& job) {
    if (job.key == nullptr)
        return {};
    const QString text = GetDisplayString(job.key);
    if (job.phase != JobPhase::kRunning || job.percent < 0)
        return text;
    return QString::asprintf("%s: %02d%%", text.toUtf8().constData(), std::min(job.percent, 100));
}

}  // namespace camfleet
