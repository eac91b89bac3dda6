#include "dialogs/dialog_pwd.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "resources/display_strings.h"
#include "resources/save_param.h"
#include "widgets/display_text.h"

namespace camfleet {

CDialogPwd::CDialogPwd(QWidget* parent)
    : QDialog(parent),
      password_(new QLineEdit(CSaveParam().defaultPassword, this)),
      repeat_(new QLineEdit(CSaveParam().defaultPassword, this)) {
    SetCaptionKey(this, DisplayKey("PASSWORD_DIALOG_TITLE"));
    password_->setObjectName("1017");
    repeat_->setObjectName("1010");
    for (QLineEdit* edit : {password_, repeat_})
        edit->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    form->addRow(KeyLabel(DisplayKey("LABEL_PASSWORD"), this), password_);
    form->addRow(KeyLabel(DisplayKey("LABEL_REPEAT_PASSWORD"), this), repeat_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetStandardButtonKeys(buttons);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace camfleet
