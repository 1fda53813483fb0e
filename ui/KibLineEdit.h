#pragma once

#include <QLineEdit>

// The room name field: a line edit that also tells when it loses the keyboard focus.
class CKibLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CKibLineEdit(QWidget* parent);

signals:
    void loseFocus();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};
