#pragma once

#include "client/MessageFilter.h"
#include "client/MsgsInfo.h"
#include "client/ServiceEndpoints.h"
#include "platform/KeyChord.h"
#include "ui/WindowGeometry.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

class CaptureHidingKeeper;
class CGetChatMessageThread;
class ChatLogWriter;
class CKibLineEdit;
class CMoreSettingsPage;
class OverlayOptionsForm;
class PointerFade;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTextEdit;
class QThread;
class QTimer;
class QToolButton;
class QVBoxLayout;

// Command codes of the window's small dispatcher: the hot key and the opacity buttons.
enum KeyboardDownFlag : qint32 { KeyLockToggle = 0, KeyAddOpacity = 1, KeySubOpacity = 2 };

// The overlay window: title bar, chat log, hover toolbar and settings panel.
class CChatDialog : public QWidget {
    Q_OBJECT

public:
    explicit CChatDialog(int defaultOpacityLevel);
    ~CChatDialog() override;

    // The ways in that do not depend on the lock key (tray menu, command line).
    bool locked() const { return isLocked; }
    void setLocked(bool locked);
    void toggleLock();
    // Unlocks the window, so that the panel can be used, and shows the settings panel.
    void openSettings();
    // The start place on the primary screen, at the current size.
    void moveToDefaultPlace();

    QString currentRoomName() const { return roomName; }
    // The lock key in force, in the desktop's words where it bound the key itself, else in the
    // system's.
    QString lockKeyName() const;
    bool holdsToInteract() const { return holdToInteract; }
    // Why the chosen key, or any key, is not in force; empty when it is.
    QString lockKeyProblem() const { return lockKeyNote; }
    // No settings file existed when the window was built.
    bool isFirstStart() const { return firstStart; }
    // How to begin: the key and what to type.
    QString startHint() const;
    // The desktop bound the lock key (maybe another than asked for), or the watcher lost it.
    void lockKeyWatchChanged(bool lost);

signals:
    void keyboardDown(KeyboardDownFlag flag);
    void quitApp();
    void sigRoomNameChanged(QString strRoomId);
    void sigFilterChoicesChanged(FilterChoices choices);
    // The lock state, the room or the lock key changed: whatever shows them should refresh.
    void statusChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

protected slots:
    void on_pushbuttonDownload_clicked(bool b);
    void on_pushbuttonLock_clicked(bool b);
    void onKeyboardDown(KeyboardDownFlag flag);
    void ReceiveMessage(MsgsInfo msgsInfo, int nOnlineCount);
    void ReceiveOnlineCount(int nOnlineCount, bool isLive);
    void RoomNameEditingFinished();
    void AddOpacity(bool b);
    void SubOpacity(bool b);
    void TopTimerOut();
    void onButtonSettingClicked(bool b);
    void onSettingOKClicked(bool b);
    void onSettingCancelClicked(bool b);
    void onSettingPageClicked(bool b);

private:
    void buildWidgetTree();
    void startWorker();
    void wireWidgets();
    void fillSettingPanel();
    void LockWindow();
    void UnlockWindow();
    void watchLockKey(const QString& text);
    void showLockKey();
    void stepOpacity(int delta);
    void UpdateResizeCursor(int x, int y);
    void ResizeToMouse(int mx, int my);
    static geometry::Screens connectedScreens();
    WindowPlace currentPlace() const;
    void keepOnScreens();
    void updatePointerFade();
    // The filters and overlay options on the settings panel's second page: built, filled from
    // the members, and applied from what the streamer chose.
    void buildOverlayOptions();
    void fillOverlayOptions();
    void applyOverlayOptions();

    bool mousePressed = false;
    QPoint pressOffset{0, 0};
    QTextEdit* chatLog = nullptr;
    ChatLogWriter* logWriter = nullptr; // writes chatLog's lines; its child, made on first use
    QLabel* liveIndicator = nullptr;
    QLabel* roomLabel = nullptr;
    QLabel* onlineCountIcon = nullptr;
    QLabel* onlineCountLabel = nullptr;
    QToolButton* lockButton = nullptr;
    bool isLocked = false;
    QString roomName;
    bool boldFlag = false;
    CGetChatMessageThread* worker = nullptr;
    QThread* workerThread = nullptr;
    qint32 opacityLevel;
    QPushButton* closeButton = nullptr;
    CKibLineEdit* roomNameEdit = nullptr;
    QWidget* hoverToolbar = nullptr;
    QPushButton* addOpacityButton = nullptr;
    QPushButton* subOpacityButton = nullptr;
    QPushButton* boldButton = nullptr;
    QPushButton* settingButton = nullptr;
    QPushButton* downloadButton = nullptr;
    QTimer* topTimer = nullptr;
    QVBoxLayout* mainLayout = nullptr;
    QWidget* titleBar = nullptr;
    QHBoxLayout* titleLayout = nullptr;
    ResizeDirection resizeDirection = ResizeNone;
    QWidget* settingPanel = nullptr;
    QLabel* fontFamilyLabel = nullptr;
    QComboBox* fontFamilyCombo = nullptr;
    QLabel* fontSizeLabel = nullptr;
    QComboBox* fontSizeCombo = nullptr;
    QLabel* lineHeightLabel = nullptr;
    QComboBox* lineHeightCombo = nullptr;
    QPushButton* settingOkButton = nullptr;
    QPushButton* settingCancelButton = nullptr;
    QPushButton* settingPageButton = nullptr; // between the font page and the next one
    CMoreSettingsPage* morePage = nullptr;
    QList<QWidget*> fontPageWidgets;
    platform::KeyChord lockKey; // in force
    QString lockKeyText;        // as chosen and stored, even when unusable
    QString lockKeyNote;
    bool holdToInteract = false;
    bool firstStart = false;
    QString fontFamily;
    qint32 fontSize = 10;
    qint32 lineHeight = 1;
    ServiceEndpoints services;
    // What the streamer keeps off the screen, and the overlay's own options.
    FilterChoices filterChoices;
    bool hideFromCapture = false;
    bool fadeUnderPointer = false;
    CaptureHidingKeeper* captureHiding = nullptr;
    PointerFade* pointerFade = nullptr;
    OverlayOptionsForm* overlayOptionsForm = nullptr;
};
