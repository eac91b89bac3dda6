#pragma once
// What an operation asks the operator: message boxes, Yes/No questions, file and folder
// choices. The window implements it with dialogs; the CLI and the tests use ScriptedPrompt.
// Texts and captions are display keys, resolved by the implementation; a text composed of
// several display strings and values comes whole (ShowText, AskYesNoText), in the language
// shown when it was composed.

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace camfleet {

enum class PromptIcon { kInformation, kWarning, kError, kQuestion };

class Prompt {
public:
    virtual ~Prompt() = default;
    // A message box with an OK button.
    virtual void ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) = 0;
    // A Yes/No question; true = Yes.
    virtual bool AskYesNo(const char* textKey, const char* captionKey) = 0;
    // The same with a composed text.
    virtual void ShowText(const QString& text, const char* captionKey, PromptIcon icon) = 0;
    virtual bool AskYesNoText(const QString& text, const char* captionKey) = 0;
    // A file to open (save = false) or to write; `filter` as Qt file dialogs take it;
    // `proposedName` the name offered (a save). Empty when cancelled.
    virtual QString ChooseFile(const char* captionKey, const QString& filter, bool save,
                               const QString& proposedName = {}) = 0;
    // A folder; empty when cancelled.
    virtual QString ChooseFolder(const char* captionKey) = 0;
};

// Answers queued in advance and every prompt recorded, in order. A question with no queued
// answer is answered No (and a choice with nothing queued is cancelled), so a script that
// forgot an answer never acts on cameras.
class ScriptedPrompt : public Prompt {
public:
    struct Record {
        enum Kind { kMessage, kQuestion, kFile, kFolder } kind;
        QString textKey;  // a composed text as it is; a file choice's proposed name
        QString captionKey;
        PromptIcon icon = PromptIcon::kInformation;
    };

    void QueueAnswer(bool yes) { answers_.push_back(yes); }
    void QueueChoice(const QString& path) { choices_.push_back(path); }

    void ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) override;
    bool AskYesNo(const char* textKey, const char* captionKey) override;
    void ShowText(const QString& text, const char* captionKey, PromptIcon icon) override;
    bool AskYesNoText(const QString& text, const char* captionKey) override;
    QString ChooseFile(const char* captionKey, const QString& filter, bool save,
                       const QString& proposedName = {}) override;
    QString ChooseFolder(const char* captionKey) override;

    const std::vector<Record>& Records() const { return records_; }
    // The text keys of the message boxes shown so far.
    QStringList MessageKeys() const;

private:
    QString TakeChoice();
    bool TakeAnswer();

    std::deque<bool> answers_;
    std::deque<QString> choices_;
    std::vector<Record> records_;
};

}  // namespace camfleet
