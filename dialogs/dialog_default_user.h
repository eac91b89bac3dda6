#pragma once
// The default login account dialog: user name and password that the tool tries on cameras
// whose discovery answer carries no account. OK with a non-empty user name stores both in
// the settings and saves them; an empty user name (or Cancel) changes nothing.
//
// UI thread only. The settings object outlives the dialog.

#include <QDialog>

class QLineEdit;

namespace camfleet {

class CSaveParam;

class CDialogDefaultUser : public QDialog {
    Q_OBJECT
public:
    CDialogDefaultUser(CSaveParam& settings, QWidget* parent = nullptr);

    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }

    // Stores the fields when the user name is not empty; returns whether it stored them.
    bool Store();

    void accept() override;

private:
    CSaveParam& settings_;
    QLineEdit* user_;
    QLineEdit* password_;
};

}  // namespace camfleet
