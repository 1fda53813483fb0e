#pragma once

#include "client/ServiceEndpoints.h"

#include <QProcessEnvironment>
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

// The lock key, kept in the section "HotKey".
struct HotKeySettings {
    QString lockKey; // QKeySequence's portable text ("F10", "Ctrl+Shift+L"); empty: the default
    bool holdToInteract = false;
};

// Reads the section "Config" over `defaults`, and the section "HotKey" into `hotKey` when
// given (the file is parsed once: it may be large); a missing file or key keeps the default.
DisplaySettings loadDisplaySettings(const QString& path, const DisplaySettings& defaults,
                                    HotKeySettings* hotKey = nullptr);

// Writes all eight keys of "Config", and both keys of "HotKey" when given, in one write; other
// keys and sections in the file survive.
void saveDisplaySettings(const QString& path, const DisplaySettings& settings,
                         const HotKeySettings* hotKey = nullptr);

// The service addresses: the section "Service" of the file, each overridden by its
// environment variable. The program never writes them.
ServiceEndpoints loadServiceEndpoints(const QString& path, const QProcessEnvironment& env);

// How the settings file reads a boolean: false for "", "0" and "false" in any case.
bool settingsTextToBool(const QString& text);
