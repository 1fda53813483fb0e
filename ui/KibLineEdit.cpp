#include "ui/KibLineEdit.h"

CKibLineEdit::CKibLineEdit(QWidget* parent) : QLineEdit(parent) {}

void CKibLineEdit::focusOutEvent(QFocusEvent* event) {
    emit loseFocus();
    QLineEdit::focusOutEvent(event);
}
