#include "ui/ChatDialog.h"

#include "client/GetChatMessageThread.h"
#include "platform/Platform.h"
#include "settings/SettingsFile.h"
#include "ui/CaptureHiding.h"
#include "ui/ChatLogView.h"
#include "ui/HotKeyHook.h"
#include "ui/KibLineEdit.h"
#include "ui/MoreSettingsPage.h"
#include "ui/PointerFade.h"
#include "ui/StyleSheets.h"
#include "ui/WindowGeometry.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kTopTimerIntervalMs = 2000;
constexpr int kTitleBarMaxHeight = 22;
constexpr int kTitleItemStretch = 132;
constexpr int kChatLogMaxBlocks = 100;
constexpr unsigned long kWorkerStopWaitMs = 3000;

const char* const kLockedIcon = "images/buttons/icon_locked.png";

QPushButton* makeIconButton(QWidget* parent, const char* name, QRect geometry, const QString& sheet,
                            const QString& tip) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setStyleSheet(sheet);
    button->setToolTip(tip);
    return button;
}

} // namespace

CChatDialog::CChatDialog(int defaultOpacityLevel)
    : QWidget(nullptr), opacityLevel(defaultOpacityLevel) {
    platform::Platform& desktop = platform::current();

    DisplaySettings defaults;
    defaults.alpha = opacityLevel;
    const QString settingsPath = QLatin1String(kSettingsFileName);
    firstStart = !QFile::exists(settingsPath);
    HotKeySettings hotKey;
    const DisplaySettings stored = loadDisplaySettings(settingsPath, defaults, &hotKey);
    holdToInteract = hotKey.holdToInteract;
    roomName = stored.roomName;
    boldFlag = stored.bold;
    opacityLevel = stored.alpha;
    fontFamily = stored.fontFamily;
    fontSize = stored.fontSize;
    lineHeight = stored.lineHeight;
    services = loadServiceEndpoints(settingsPath, QProcessEnvironment::systemEnvironment());
    filterChoices = loadFilterChoices(settingsPath);
    const WindowOptions options = loadWindowOptions(settingsPath);
    hideFromCapture = options.hideFromCapture;
    fadeUnderPointer = options.fadeUnderPointer;
    setGeometry(geometry::placeAtStart(QSize(stored.width, stored.height),
                                       loadWindowPlace(settingsPath), connectedScreens()));
    setContentsMargins(0, 0, 0, 0);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // Shown and re-raised above a game: it must never steal the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    opacityLevel = geometry::clampOpacityLevel(opacityLevel);
    setWindowOpacity(opacityLevel / 10.0);
    setAttribute(Qt::WA_MouseTracking);
    setMinimumHeight(geometry::kMinimumHeight);
    setMinimumWidth(geometry::kMinimumWidth);
    setStyleSheet(styles::window());

    buildWidgetTree();
    wireWidgets();
    fillSettingPanel();

    desktop.raiseTopmost(this);

    captureHiding = new CaptureHidingKeeper(this);
    if (hideFromCapture && desktop.canHideFromCapture())
        captureHiding->setHidden(true);
    pointerFade = new PointerFade(this);
    buildOverlayOptions();
    fillOverlayOptions();

    desktop.setClickThrough(this, true);
    isLocked = true;
    updatePointerFade();

    hookTarget = this;
    watchLockKey(hotKey.lockKey);
    showLockKey();
    // Without the hot key a locked window could never be unlocked, nor closed.
    if (!keyboardHook)
        UnlockWindow();

    startWorker();

    topTimer = new QTimer(this);
    topTimer->setObjectName(QStringLiteral("topTimer"));
    topTimer->setInterval(kTopTimerIntervalMs);
    topTimer->setSingleShot(false);
    connect(topTimer, &QTimer::timeout, this, &CChatDialog::TopTimerOut);
    topTimer->start();
}

CChatDialog::~CChatDialog() {
    // Tearing the widget base down moves the focus out of the room field, whose editingFinished
    // would then call into this half-destroyed window: cut that link first.
    disconnect(roomNameEdit, nullptr, this, nullptr);
    hookTarget = nullptr;
    if (keyboardHook) {
        platform::current().unwatchKeyChord(keyboardHook);
        keyboardHook = nullptr;
    }
    if (workerThread) {
        // Cut from this window first: the worker, ending later on its own thread, then has
        // nothing left to look up in it.
        disconnect(worker, nullptr, this, nullptr);
        disconnect(this, nullptr, worker, nullptr);
        // A pause or pacing wait may be under way: ask it to end early, and give the thread a
        // moment so it does not outlive the application object.
        CGetChatMessageThread::interruptWaits(workerThread);
        workerThread->quit();
        // The worker deletes itself as the thread finishes; a thread that has ended can go too.
        if (workerThread->wait(kWorkerStopWaitMs)) {
            delete workerThread;
            workerThread = nullptr;
        }
    }
    DisplaySettings current;
    current.roomName = roomName;
    current.bold = boldButton->isChecked();
    current.alpha = opacityLevel;
    current.fontFamily = fontFamily;
    current.fontSize = fontSize;
    current.lineHeight = lineHeight;
    current.width = width();
    current.height = height();
    HotKeySettings hotKey;
    hotKey.lockKey = lockKeyText;
    hotKey.holdToInteract = holdToInteract;
    // One write of the file for all sections: a large file takes long to rewrite.
    QSettings file(QLatin1String(kSettingsFileName), QSettings::IniFormat);
    saveDisplaySettings(file, current, &hotKey);
    saveFilterChoices(file, filterChoices);
    saveWindowOptions(file, WindowOptions{hideFromCapture, fadeUnderPointer});
    saveWindowPlace(file, currentPlace());
    file.sync();
}

void CChatDialog::updatePointerFade() {
    pointerFade->setActive(isLocked && fadeUnderPointer &&
                           platform::current().seesPointerOverOtherWindows());
}

void CChatDialog::startWorker() {
    worker = new CGetChatMessageThread(roomName, services);
    // Handed over before the thread starts, so that the first poll reply is already filtered;
    // later changes travel by the queued signal.
    worker->FilterChoicesChanged(filterChoices);
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    qRegisterMetaType<FilterChoices>("FilterChoices");
    connect(worker, &CGetChatMessageThread::SendMessageToDisplay, this,
            &CChatDialog::ReceiveMessage, Qt::QueuedConnection);
    connect(worker, &CGetChatMessageThread::SendOnlineCountToDisplay, this,
            &CChatDialog::ReceiveOnlineCount, Qt::QueuedConnection);
    connect(this, &CChatDialog::sigRoomNameChanged, worker, &CGetChatMessageThread::RoomNameChanged,
            Qt::QueuedConnection);
    connect(this, &CChatDialog::sigFilterChoicesChanged, worker,
            &CGetChatMessageThread::FilterChoicesChanged, Qt::QueuedConnection);
    workerThread = new QThread;
    connect(workerThread, &QThread::finished, worker, &QObject::deleteLater);
    connect(workerThread, &QThread::started, worker, &CGetChatMessageThread::StartLoop);
    worker->moveToThread(workerThread);
    workerThread->start();
}

void CChatDialog::buildWidgetTree() {
    mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(4, 1, 4, 4);

    titleBar = new QWidget(this);
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setMaximumHeight(kTitleBarMaxHeight);
    titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(2, 2, 2, 0);

    liveIndicator = new QLabel(titleBar);
    liveIndicator->setObjectName(QStringLiteral("liveIndicator"));
    liveIndicator->setFixedSize(12, 12);
    liveIndicator->setStyleSheet(styles::liveIndicatorInitial());

    roomLabel = new QLabel(titleBar);
    roomLabel->setObjectName(QStringLiteral("roomLabel"));
    roomLabel->setFixedSize(38, 20);
    roomLabel->setStyleSheet(styles::titleLabel());
    roomLabel->setText(QStringLiteral("房间号:"));

    roomNameEdit = new CKibLineEdit(titleBar);
    roomNameEdit->setObjectName(QStringLiteral("roomNameEdit"));
    roomNameEdit->setMinimumWidth(55);
    roomNameEdit->setStyleSheet(styles::roomNameEdit());
    roomNameEdit->setText(roomName);

    onlineCountIcon = new QLabel(titleBar);
    onlineCountIcon->setObjectName(QStringLiteral("onlineCountIcon"));
    onlineCountIcon->setFixedSize(12, 12);
    onlineCountIcon->setStyleSheet(styles::onlineCountIcon());

    onlineCountLabel = new QLabel(titleBar);
    onlineCountLabel->setObjectName(QStringLiteral("onlineCountLabel"));
    onlineCountLabel->setStyleSheet(styles::titleLabel());
    onlineCountLabel->setText(QStringLiteral("1"));

    lockButton = new QToolButton(titleBar);
    lockButton->setObjectName(QStringLiteral("lockButton"));
    lockButton->setStyleSheet(styles::lockButton());
    lockButton->setIcon(QIcon(QLatin1String(kLockedIcon)));
    lockButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    lockButton->setMinimumWidth(60);
    lockButton->setText(QStringLiteral("F10解锁"));
    // As wide as its pictures. Left at the default 16 by 16, a scaled screen stretches the
    // @2x picture to 16 and the label loses those pixels; the height stays, and at 100 %
    // nothing moves, since the room left for the picture follows the 12-pixel picture itself.
    lockButton->setIconSize(QSize(12, 16));

    closeButton = new QPushButton(titleBar);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setFixedSize(12, 12);
    closeButton->setStyleSheet(styles::closeButton());

    titleLayout->addWidget(liveIndicator, kTitleItemStretch);
    titleLayout->addWidget(roomLabel, kTitleItemStretch);
    titleLayout->addWidget(roomNameEdit, kTitleItemStretch);
    titleLayout->addStretch(0);
    titleLayout->addWidget(onlineCountIcon, kTitleItemStretch);
    titleLayout->addWidget(onlineCountLabel, kTitleItemStretch);
    titleLayout->addWidget(lockButton, kTitleItemStretch);
    titleLayout->addWidget(closeButton, kTitleItemStretch);

    chatLog = new ChatLogView(this);
    chatLog->setObjectName(QStringLiteral("chatLog"));
    chatLog->setContentsMargins(0, 0, 0, 0);
    chatLog->setStyleSheet(styles::chatLog());
    chatLog->setReadOnly(true);
    chatLog->setWordWrapMode(QTextOption::WordWrap);
    chatLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chatLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chatLog->document()->setUndoRedoEnabled(false);
    chatLog->document()->setMaximumBlockCount(kChatLogMaxBlocks);
    // Lines read left to right whatever letter they start with: a right-to-left name at the
    // start of a line does not turn the line round (each service text keeps its own
    // direction inside its piece).
    QTextOption lineOption = chatLog->document()->defaultTextOption();
    lineOption.setTextDirection(Qt::LeftToRight);
    chatLog->document()->setDefaultTextOption(lineOption);

    mainLayout->addWidget(titleBar, 0);
    mainLayout->addWidget(chatLog, 0);

    hoverToolbar = new QWidget(this);
    hoverToolbar->setObjectName(QStringLiteral("hoverToolbar"));
    hoverToolbar->setGeometry(0, 22, width(), 25);
    addOpacityButton = makeIconButton(hoverToolbar, "addOpacityButton", QRect(24, 5, 10, 10),
                                      styles::addOpacityButton(), QStringLiteral("增加透明度"));
    subOpacityButton = makeIconButton(hoverToolbar, "subOpacityButton", QRect(54, 5, 10, 10),
                                      styles::subOpacityButton(), QStringLiteral("减少透明度"));
    boldButton = makeIconButton(hoverToolbar, "boldButton", QRect(84, 5, 10, 10),
                                styles::boldButton(), QStringLiteral("字体加粗"));
    boldButton->setCheckable(true);
    boldButton->setText(QStringLiteral("B"));
    boldButton->setChecked(boldFlag);
    settingButton = makeIconButton(hoverToolbar, "settingButton", QRect(114, 4, 12, 12),
                                   styles::settingButton(), QStringLiteral("字体设置"));
    downloadButton = makeIconButton(hoverToolbar, "downloadButton", QRect(144, 4, 9, 11),
                                    styles::downloadButton(), QStringLiteral("下载KIB直播软件"));
    hoverToolbar->hide();

    settingPanel = new QWidget(this);
    settingPanel->setObjectName(QStringLiteral("settingPanel"));
    settingPanel->setGeometry(25, 60, 220, 120);
    settingPanel->setStyleSheet(styles::settingPanel());

    const auto makeLabel = [this](const char* name, int y, const QString& text) {
        auto* label = new QLabel(settingPanel);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(10, y, 50, 20);
        label->setStyleSheet(styles::panelLabel());
        label->setText(text);
        return label;
    };
    const auto makeCombo = [this](const char* name, int y) {
        auto* combo = new QComboBox(settingPanel);
        combo->setObjectName(QLatin1String(name));
        combo->setGeometry(70, y, 130, 20);
        combo->setStyleSheet(styles::panelCombo());
        return combo;
    };
    const auto makeButton = [this](const char* name, int x, const QString& text) {
        auto* button = new QPushButton(settingPanel);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, 90, 60, 20);
        button->setStyleSheet(styles::panelButton());
        button->setText(text);
        return button;
    };
    fontFamilyLabel = makeLabel("fontFamilyLabel", 15, QStringLiteral("字体："));
    fontFamilyCombo = makeCombo("fontFamilyCombo", 15);
    fontSizeLabel = makeLabel("fontSizeLabel", 40, QStringLiteral("字号："));
    fontSizeCombo = makeCombo("fontSizeCombo", 40);
    lineHeightLabel = makeLabel("lineHeightLabel", 65, QStringLiteral("行间距："));
    lineHeightCombo = makeCombo("lineHeightCombo", 65);
    settingOkButton = makeButton("settingOkButton", 40, QStringLiteral("确定"));
    settingCancelButton = makeButton("settingCancelButton", 110, QStringLiteral("取消"));
    fontPageWidgets = {fontFamilyLabel, fontFamilyCombo, fontSizeLabel,
                       fontSizeCombo,   lineHeightLabel, lineHeightCombo};

    // The next page lies over the font page's rows; OK and Cancel serve both.
    morePage = new CMoreSettingsPage(settingPanel);
    morePage->setGeometry(0, 14, 220, 72);
    morePage->hide();
    settingPageButton = new QPushButton(settingPanel);
    settingPageButton->setObjectName(QStringLiteral("settingPageButton"));
    settingPageButton->setGeometry(160, 0, 58, 14);
    settingPageButton->setStyleSheet(styles::panelPageButton());
    settingPageButton->setText(QStringLiteral("更多设置›"));
    settingPanel->hide();
}

void CChatDialog::wireWidgets() {
    connect(lockButton, &QToolButton::clicked, this, &CChatDialog::on_pushbuttonLock_clicked);
    connect(this, &CChatDialog::keyboardDown, this, &CChatDialog::onKeyboardDown);
    connect(closeButton, &QPushButton::clicked, this, &CChatDialog::quitApp);
    connect(roomNameEdit, &QLineEdit::editingFinished, this, &CChatDialog::RoomNameEditingFinished);
    connect(downloadButton, &QPushButton::clicked, this,
            &CChatDialog::on_pushbuttonDownload_clicked);
    connect(addOpacityButton, &QPushButton::clicked, this, &CChatDialog::AddOpacity);
    connect(subOpacityButton, &QPushButton::clicked, this, &CChatDialog::SubOpacity);
    connect(settingButton, &QPushButton::clicked, this, &CChatDialog::onButtonSettingClicked);
    connect(settingOkButton, &QPushButton::clicked, this, &CChatDialog::onSettingOKClicked);
    connect(settingCancelButton, &QPushButton::clicked, this, &CChatDialog::onSettingCancelClicked);
    connect(settingPageButton, &QPushButton::clicked, this, &CChatDialog::onSettingPageClicked);
}

void CChatDialog::TopTimerOut() {
    platform::current().raiseTopmost(this);
    keepOnScreens();
}
