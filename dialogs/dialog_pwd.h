#pragma once
// The admin password dialog of the batch password change: the new password (field 1017) and
// its repetition (field 1010), both opened with the factory password. The batch compares the
// two texts; this dialog only collects them.
//
// UI thread only.

#include <QDialog>

class QLineEdit;

namespace camfleet {

class CDialogPwd : public QDialog {
    Q_OBJECT
public:
    explicit CDialogPwd(QWidget* parent = nullptr);

    QLineEdit* PasswordEdit() const { return password_; }
    QLineEdit* RepeatEdit() const { return repeat_; }

private:
    QLineEdit* password_;
    QLineEdit* repeat_;
};

}  // namespace camfleet
