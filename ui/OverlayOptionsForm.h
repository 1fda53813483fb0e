#pragma once

#include "client/MessageFilter.h"
#include "platform/Platform.h"

#include <QObject>
#include <QString>
#include <QStringList>

class CMoreSettingsPage;
class QCheckBox;
class QLabel;
class QLineEdit;

// A list as typed in one line: entries between commas (Latin or Chinese) or enumeration
// commas, blanks around them dropped, empty ones skipped.
QStringList splitListText(const QString& text);
// The list as the line shows it.
QString listText(const QStringList& list);

// The filters and the overlay's own options, as rows of the settings panel's second page: it
// shows values and hands back what the streamer made of them; the window decides when they
// apply.
class OverlayOptionsForm : public QObject {
    Q_OBJECT

public:
    explicit OverlayOptionsForm(CMoreSettingsPage* page);

    void setValues(const FilterChoices& choices, bool hideFromCapture, bool fadeUnderPointer);
    FilterChoices filterChoices() const;
    bool hideFromCapture() const;
    bool fadeUnderPointer() const;

    // What holds for the capture option; the box is disabled, with the reason beside it,
    // where the system has no way to hide a window from capture.
    void showCaptureState(platform::CaptureHiding state);
    // The fade needs the pointer's position over other programs' windows.
    void setFadeAvailable(bool available);

private:
    QLineEdit* blockedUsersEdit = nullptr;
    QLineEdit* blockedWordsEdit = nullptr;
    QLineEdit* minGiftValueEdit = nullptr;
    QCheckBox* hideFreeGiftsBox = nullptr;
    QCheckBox* giftsOnlyBox = nullptr;
    QCheckBox* hideFromCaptureBox = nullptr;
    QLabel* captureStateLabel = nullptr;
    QCheckBox* fadeUnderPointerBox = nullptr;
    QLabel* fadeStateLabel = nullptr;
};
