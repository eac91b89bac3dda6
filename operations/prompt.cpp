#include "operations/prompt.h"

namespace camfleet {

void ScriptedPrompt::ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) {
    records_.push_back(
        {Record::kMessage, QString::fromLatin1(textKey), QString::fromLatin1(captionKey), icon});
}

bool ScriptedPrompt::AskYesNo(const char* textKey, const char* captionKey) {
    records_.push_back({Record::kQuestion, QString::fromLatin1(textKey),
                        QString::fromLatin1(captionKey), PromptIcon::kQuestion});
    return TakeAnswer();
}

void ScriptedPrompt::ShowText(const QString& text, const char* captionKey, PromptIcon icon) {
    records_.push_back({Record::kMessage, text, QString::fromLatin1(captionKey), icon});
}

bool ScriptedPrompt::AskYesNoText(const QString& text, const char* captionKey) {
    records_.push_back(
        {Record::kQuestion, text, QString::fromLatin1(captionKey), PromptIcon::kQuestion});
    return TakeAnswer();
}

bool ScriptedPrompt::TakeAnswer() {
    if (answers_.empty())
        return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

QString ScriptedPrompt::ChooseFile(const char* captionKey, const QString&, bool,
                                   const QString& proposedName) {
    records_.push_back(
        {Record::kFile, proposedName, QString::fromLatin1(captionKey), PromptIcon::kQuestion});
    return TakeChoice();
}

QString ScriptedPrompt::ChooseFolder(const char* captionKey) {
    records_.push_back(
        {Record::kFolder, {}, QString::fromLatin1(captionKey), PromptIcon::kQuestion});
    return TakeChoice();
}

QString ScriptedPrompt::TakeChoice() {
    if (choices_.empty())
        return {};
    QString path = choices_.front();
    choices_.pop_front();
    return path;
}

QStringList ScriptedPrompt::MessageKeys() const {
    QStringList keys;
    for (const Record& r : records_)
        if (r.kind == Record::kMessage)
            keys.append(r.textKey);
    return keys;
}

}  // namespace camfleet
