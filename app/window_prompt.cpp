#include "app/window_prompt.h"

#include "resources/display_strings.h"

namespace camfleet {

void KeyPrompt::ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) {
    window_.ShowMessage(GetDisplayString(textKey), GetDisplayString(captionKey), icon);
}

bool KeyPrompt::AskYesNo(const char* textKey, const char* captionKey) {
    return window_.AskYesNo(GetDisplayString(textKey), GetDisplayString(captionKey));
}

void KeyPrompt::ShowText(const QString& text, const char* captionKey, PromptIcon icon) {
    window_.ShowMessage(text, GetDisplayString(captionKey), icon);
}

bool KeyPrompt::AskYesNoText(const QString& text, const char* captionKey) {
    return window_.AskYesNo(text, GetDisplayString(captionKey));
}

QString KeyPrompt::ChooseFile(const char* captionKey, const QString& filter, bool save,
                              const QString& proposedName) {
    return window_.ChooseFile(GetDisplayString(captionKey), filter, save, proposedName);
}

QString KeyPrompt::ChooseFolder(const char* captionKey) {
    return window_.ChooseFolder(GetDisplayString(captionKey));
}

}  // namespace camfleet
