#pragma once
// The default login account edits of the main window: user name (1052) and password (1054),
// stored in the settings on every change. Cameras whose discovery answer carries no account
// are logged in with them.
//
// UI thread only. The settings object outlives this widget; its owner loads it from the file
// before Load, which only reads its fields.

#include <QLineEdit>
#include <QWidget>

namespace camfleet {

class CSaveParam;

class AccountControls : public QWidget {
    Q_OBJECT
public:
    explicit AccountControls(CSaveParam& settings, QWidget* parent = nullptr);

    // Sets the edits from the (loaded) settings without storing anything.
    void Load();

    QLineEdit* User() const { return user_; }
    QLineEdit* Password() const { return password_; }

private:
    CSaveParam& settings_;
    QLineEdit* user_;
    QLineEdit* password_;
    bool loading_ = false;
};

}  // namespace camfleet
