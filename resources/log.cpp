// Placeholder implementation until the diagnostic log lands: formats nothing.
#include "resources/log.h"

namespace camfleet {
void InitLog() {}
int LogMessage(const char*, ...) { return 0; }
}  // namespace camfleet
