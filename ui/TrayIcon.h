#pragma once

#include <QObject>

#include <memory>

class CChatDialog;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The tray icon: a way to lock, unlock, reach the settings, bring the window back and quit
// that does not depend on the lock key. Its tooltip shows the room, the lock state and why the
// key is not in force when it is not.
class CTrayIcon : public QObject {
    Q_OBJECT

public:
    // Null where the desktop has no tray (nor a StatusNotifier host).
    static std::unique_ptr<CTrayIcon> createIfAvailable(CChatDialog* dialog);
    explicit CTrayIcon(CChatDialog* dialog);
    ~CTrayIcon() override;

    // On the first start only (no settings file yet): how to begin, once.
    void showFirstStartHint();

    // The tooltip for the window's state.
    static QString toolTipFor(const QString& room, bool locked, const QString& keyName,
                              const QString& keyProblem);

private:
    void refresh();

    CChatDialog* dialog;
    std::unique_ptr<QMenu> menu;
    QSystemTrayIcon* icon = nullptr;
    QAction* lockAction = nullptr;
};
