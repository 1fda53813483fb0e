#pragma once

#include "client/MessageFilter.h"
#include "client/ServiceEndpoints.h"

#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

class QSettings;

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

// The chat font size and line spacing the overlay accepts from the file. Far beyond what the
// settings panel offers (10 to 22 points, 1 to 10 pixels) and any real use: at 200 points one
// line is about 270 pixels tall at 96 dpi, most of the default chat area, and 300 pixels
// between lines is a screenful of space. Within them the chat log's fixed-point layout and
// the font engine cannot overflow. A size of 0 or less is one Qt ignores (it keeps its own
// default), so those all read as 0; a small negative spacing pulls the lines of the default
// font together without passing them over each other.
constexpr int kMinFontSize = 0;
constexpr int kMaxFontSize = 200;
constexpr int kMinLineHeight = -16;
constexpr int kMaxLineHeight = 300;

// Reads the section "Config" over `defaults`, and the section "HotKey" into `hotKey` when
// given (the file is parsed once: it may be large); a missing file or key keeps the default.
// The font size and line spacing are brought within the bounds above.
DisplaySettings loadDisplaySettings(const QString& path, const DisplaySettings& defaults,
                                    HotKeySettings* hotKey = nullptr);

// Where the window was at the last shutdown, in device-independent pixels, with the name and
// geometry of the screen it was on then. Kept in the section "Window", apart from "Config".
struct WindowPlace {
    bool saved = false; // false: no place in the file, start at the default place
    QPoint topLeft;
    QString screen;
    QRect screenGeometry;
};

WindowPlace loadWindowPlace(const QString& path);

// Writes the place into an open file, when it is `saved`, to be written with the file's other
// sections when it syncs.
void saveWindowPlace(QSettings& file, const WindowPlace& place);

// Writes all eight keys of "Config", and both keys of "HotKey" when given, in one write; other
// keys and sections in the file survive.
void saveDisplaySettings(const QString& path, const DisplaySettings& settings,
                         const HotKeySettings* hotKey = nullptr);
// The same into an open file, written when it syncs: several sections in one write.
void saveDisplaySettings(QSettings& file, const DisplaySettings& settings,
                         const HotKeySettings* hotKey = nullptr);

// The streamer's filter choices, in the section "Filter"; a missing file or key means nothing
// is filtered by it. Words and names typed into the file by hand in UTF-8 are read as such.
FilterChoices loadFilterChoices(const QString& path);
void saveFilterChoices(const QString& path, const FilterChoices& choices);
void saveFilterChoices(QSettings& file, const FilterChoices& choices);

// The overlay's own options in the section "Window", all off by default.
struct WindowOptions {
    bool hideFromCapture = false;
    bool fadeUnderPointer = false;
};
WindowOptions loadWindowOptions(const QString& path);
void saveWindowOptions(const QString& path, const WindowOptions& options);
void saveWindowOptions(QSettings& file, const WindowOptions& options);

// The service addresses: the section "Service" of the file, each overridden by its
// environment variable. The program never writes them.
ServiceEndpoints loadServiceEndpoints(const QString& path, const QProcessEnvironment& env);

// How the settings file reads a boolean: false for "", "0" and "false" in any case.
bool settingsTextToBool(const QString& text);
