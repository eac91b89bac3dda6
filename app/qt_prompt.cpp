#include "app/qt_prompt.h"

#include <QFileDialog>
#include <QMessageBox>

#include "widgets/display_text.h"

namespace camfleet {

namespace {

QMessageBox::Icon BoxIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::kWarning:
            return QMessageBox::Warning;
        case PromptIcon::kError:
            return QMessageBox::Critical;
        case PromptIcon::kQuestion:
            return QMessageBox::Question;
        case PromptIcon::kInformation:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

void QtPrompt::ShowMessage(const QString& text, const QString& caption, PromptIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent_);
    SetStandardButtonKeys(&box);
    box.exec();
}

bool QtPrompt::AskYesNo(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setDefaultButton(QMessageBox::No);
    SetStandardButtonKeys(&box);
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompt::ChooseFile(const QString& caption, const QString& filter, bool save,
                             const QString& proposedName) {
    if (save)
        return QFileDialog::getSaveFileName(parent_, caption, proposedName, filter);
    return QFileDialog::getOpenFileName(parent_, caption, QString(), filter);
}

QString QtPrompt::ChooseFolder(const QString& caption) {
    return QFileDialog::getExistingDirectory(parent_, caption);
}

}  // namespace camfleet
