#include "app/account_controls.h"

#include <QFormLayout>
#include <QLabel>

#include "resources/display_strings.h"
#include "resources/save_param.h"
#include "widgets/display_text.h"

namespace camfleet {

AccountControls::AccountControls(CSaveParam& settings, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      user_(new QLineEdit(this)),
      password_(new QLineEdit(this)) {
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(KeyLabel(DisplayKey("LABEL_USER_NAME"), this), user_);
    form->addRow(KeyLabel(DisplayKey("LABEL_PASSWORD"), this), password_);
    password_->setEchoMode(QLineEdit::Password);
    connect(user_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (loading_)
            return;
        settings_.defaultUser = text;
        settings_.Save();
    });
    connect(password_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (loading_)
            return;
        settings_.defaultPassword = text;
        settings_.Save();
    });
}

void AccountControls::Load() {
    loading_ = true;
    user_->setText(settings_.defaultUser);
    password_->setText(settings_.defaultPassword);
    loading_ = false;
}

}  // namespace camfleet
