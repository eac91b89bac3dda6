#pragma once
// WindowPrompt with Qt's standard dialogs, modal to `parent`.

#include "app/window_prompt.h"

class QWidget;

namespace camfleet {

class QtPrompt : public WindowPrompt {
public:
    explicit QtPrompt(QWidget* parent) : parent_(parent) {}

    void ShowMessage(const QString& text, const QString& caption, PromptIcon icon) override;
    bool AskYesNo(const QString& text, const QString& caption) override;
    QString ChooseFile(const QString& caption, const QString& filter, bool save,
                       const QString& proposedName = {}) override;
    QString ChooseFolder(const QString& caption) override;

private:
    QWidget* parent_;
};

}  // namespace camfleet
