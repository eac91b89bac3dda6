#pragma once
// What the main window asks the operator: message boxes, Yes/No questions, file and folder
// choices, with texts already in the display language. QtPrompt shows dialogs; tests
// script the answers. KeyPrompt offers the same to the core's operations, which speak in
// display keys.
//
// UI thread only.

#include <QString>

#include "operations/prompt.h"

namespace camfleet {

class WindowPrompt {
public:
    virtual ~WindowPrompt() = default;

    // A message box with an OK button; returns when the operator closed it.
    virtual void ShowMessage(const QString& text, const QString& caption, PromptIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& caption) = 0;
    // A file to open (or to write when `save`, offering `proposedName`); empty when
    // cancelled. `filter` as QFileDialog takes it.
    virtual QString ChooseFile(const QString& caption, const QString& filter, bool save,
                               const QString& proposedName = {}) = 0;
    // An existing folder; empty when cancelled.
    virtual QString ChooseFolder(const QString& caption) = 0;
};

// The core's Prompt over a WindowPrompt: keys become their display strings.
class KeyPrompt : public Prompt {
public:
    explicit KeyPrompt(WindowPrompt& window) : window_(window) {}

    void ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) override;
    bool AskYesNo(const char* textKey, const char* captionKey) override;
    void ShowText(const QString& text, const char* captionKey, PromptIcon icon) override;
    bool AskYesNoText(const QString& text, const char* captionKey) override;
    QString ChooseFile(const char* captionKey, const QString& filter, bool save,
                       const QString& proposedName = {}) override;
    QString ChooseFolder(const char* captionKey) override;

private:
    WindowPrompt& window_;
};

}  // namespace camfleet
