#pragma once

#include "client/ServiceEndpoints.h"

#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

// The overlay's settings file: "config.ini" in the working directory.
constexpr const char* kSettingsFileName = "config.ini";

// The user's settings, kept between runs in the section "Config".
struct DisplaySettings {
    QString roomName;
    bool bold = false;
    int alpha = 6;
    QString fontFamily;
    int fontSize = 10;
    int lineHeight = 1;
    int width = 277;
    int height = 312;
};

// Reads the section "Config" over `defaults`; a missing file or key keeps the default.
DisplaySettings loadDisplaySettings(const QString& path, const DisplaySettings& defaults);

// Where the window was at the last shutdown, in device-independent pixels, with the name and
// geometry of the screen it was on then. Kept in the section "Window", apart from "Config".
struct WindowPlace {
    bool saved = false; // false: no place in the file, start at the default place
    QPoint topLeft;
    QString screen;
    QRect screenGeometry;
};

WindowPlace loadWindowPlace(const QString& path);

// Writes all eight keys of "Config", and the place when it is `saved`, in one write; other
// keys and sections in the file survive.
void saveDisplaySettings(const QString& path, const DisplaySettings& settings,
                         const WindowPlace& place = WindowPlace());

// The service addresses: the section "Service" of the file, each overridden by its
// environment variable. The program never writes them.
ServiceEndpoints loadServiceEndpoints(const QString& path, const QProcessEnvironment& env);

// How the settings file reads a boolean: false for "", "0" and "false" in any case.
bool settingsTextToBool(const QString& text);
