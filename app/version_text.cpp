#include "app/version_text.h"

#include "resources/display_strings.h"

namespace camfleet {

QString WindowTitle() {
    return QString::asprintf("%s %s", qPrintable(GetDisplayString("TITLE")),
                             qPrintable(VersionText()));
}

}  // namespace camfleet
