#pragma once

#include <QString>

// The look of every widget of the overlay, one sheet per widget role.
namespace styles {

QString window();
QString settingPanel(); // also the download confirmation box
QString liveIndicatorInitial();
QString titleLabel();
QString roomNameEdit();
QString onlineCountIcon();
QString lockButton();
QString closeButton();
QString chatLog();
QString addOpacityButton();
QString subOpacityButton();
QString boldButton();
QString settingButton();
QString downloadButton();
QString panelLabel();
QString panelCombo();
QString panelButton();
QString panelKeyEdit();
QString panelCheckBox();
QString panelNote();
QString panelPageButton();
QString liveIndicatorLive();
QString liveIndicatorNotLive();

// A transparent push button drawn by its pictures, one per state; file names are relative to
// "images/buttons/".
QString iconButton(const char* normal, const char* hover, const char* pressed);

} // namespace styles
