#include "dialogs/dialog_default_user.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "resources/display_strings.h"
#include "resources/save_param.h"
#include "widgets/display_text.h"

namespace camfleet {

CDialogDefaultUser::CDialogDefaultUser(CSaveParam& settings, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      user_(new QLineEdit(settings.defaultUser, this)),
      password_(new QLineEdit(settings.defaultPassword, this)) {
    SetCaptionKey(this, DisplayKey("TEXT14"));
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    form->addRow(KeyLabel(DisplayKey("LABEL_USER_NAME"), this), user_);
    form->addRow(KeyLabel(DisplayKey("LABEL_PASSWORD"), this), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetStandardButtonKeys(buttons);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDialogDefaultUser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDialogDefaultUser::reject);
}

bool CDialogDefaultUser::Store() {
    if (user_->text().isEmpty())
        return false;
    settings_.defaultUser = user_->text();
    settings_.defaultPassword = password_->text();
    settings_.Save();
    return true;
}

void CDialogDefaultUser::accept() {
    Store();
    QDialog::accept();
}

}  // namespace camfleet
