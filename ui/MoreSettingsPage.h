#pragma once

#include "platform/KeyChord.h"

#include <QWidget>

class QCheckBox;
class QFormLayout;
class QKeySequenceEdit;
class QLabel;

// The settings panel's second page: the lock key and how it works, and room for more settings.
// Each setting is one row of the form layout; a new setting adds its own row with addRow().
class CMoreSettingsPage : public QWidget {
    Q_OBJECT

public:
    explicit CMoreSettingsPage(QWidget* parent);

    // Appends a row with a caption in the page's look; the page scrolls once rows overflow it.
    void addRow(const QString& caption, QWidget* field);
    // Appends a row of its own width: a check box, a note.
    void addRow(QWidget* wide);

    void setLockKey(const platform::KeyChord& chord);
    // The chord in the key field; an empty field gives the default key.
    platform::KeyChord lockKey() const;
    void setHoldToInteract(bool hold);
    bool holdToInteract() const;
    // Why the chosen key is not in force; empty hides the note.
    void setKeyNote(const QString& note);

private:
    void keepFirstChord();

    QFormLayout* rows = nullptr;
    QKeySequenceEdit* lockKeyEdit = nullptr;
    QCheckBox* holdCheck = nullptr;
    QLabel* keyNote = nullptr;
};
