#include "ui/StyleSheets.h"

#include <QStringList>

namespace styles {

namespace {

// Pieces of one sheet are joined by white space, which the style sheet parser ignores.
QString join(std::initializer_list<const char*> pieces) {
    QStringList parts;
    for (const char* piece : pieces)
        parts << QString::fromUtf8(piece);
    return parts.join(QLatin1String("\t\t"));
}

} // namespace

QString window() {
    return QStringLiteral("QWidget{background-color:black;}");
}

QString settingPanel() {
    return QStringLiteral("QWidget{background-color:rgb(230,231,232)}");
}

QString liveIndicatorInitial() {
    return QStringLiteral("QLabel{background-image:url(images/buttons/icon_unlive.png);"
                          "background-repeat:no-repeat;}");
}

QString titleLabel() {
    return join({"QLabel{font-family:微软雅黑;font-size:12px;color:gray;}"});
}

QString roomNameEdit() {
    return join({"QLineEdit:focus{border-style:solid;border-width:1px;border-color:rgb(74,155,0);"
                 "color:gray;}",
                 "QLineEdit{background-color:transparent;border-style:solid;border-width:0px;"
                 "font-family:微软雅黑;font-size:12px;color:gray;}",
                 "QLineEdit:hover{border-width:1px;border-color:rgb(74,155,0);}",
                 "QScrollBar {height:0px;width:0px;}"});
}

QString onlineCountIcon() {
    return QStringLiteral("QLabel{background-image:url(images/buttons/icon_numberOnline.png);"
                          "background-repeat:no-repeat;}");
}

QString lockButton() {
    return join({"QToolButton{border-style:solid;border-width:0px;font-family:微软雅黑;"
                 "font-size:12px;color:gray;}",
                 "QToolButton:hover{color:white;}"});
}

QString iconButton(const char* normal, const char* hover, const char* pressed) {
    return join({"QPushButton{background-color:rgba(0,0,0,0);background-image:url(images/buttons/"
                 "%1);"
                 "background-repeat:no-repeat;",
                 "border-style:solid;border-color:rgba(0,0,0,0);border-width:0px 0px 0px 0px;}",
                 "QPushButton:hover{background-image:url(images/buttons/%2);}",
                 "QPushButton:pressed{background-image:url(images/buttons/%3);}"})
        .arg(QLatin1String(normal), QLatin1String(hover), QLatin1String(pressed));
}

QString closeButton() {
    return iconButton("icon_close.png", "icon_close_Hover.png", "icon_close.png");
}

QString chatLog() {
    return QStringLiteral("QTextEdit{border-style:solid;border-width:0px;}");
}

QString addOpacityButton() {
    return iconButton("icon_add.png", "icon_add_hover.png", "icon_add.png");
}

QString subOpacityButton() {
    return iconButton("icon_sub.png", "icon_sub_hover.png", "icon_sub.png");
}

QString settingButton() {
    return iconButton("icon_setting.png", "icon_setting_hover.png", "icon_setting_hover.png");
}

QString downloadButton() {
    return iconButton("icon_upLoad.png", "icon_downLoad_hover.png", "icon_upLoad.png");
}

QString boldButton() {
    return join({"QPushButton{border-style:solid;border-width:0px;border-color:rgba(0,0,0,0);"
                 "font-family:微软雅黑;font-size:14px;",
                 "font-weight:bold;", "color:rgb(153,153,153);background-color:rgba(0,0,0,0);}",
                 "QPushButton:hover{color:rgb(222,205,106);background-color:rgba(0,0,0,0);}",
                 "QPushButton:checked{color:rgb(222,205,106);background-color:rgba(0,0,0,0);}"});
}

QString panelLabel() {
    return join({"QLabel{font-family:微软雅黑;font-size:12px;color:rgb(227,127,10); }"});
}

QString panelCombo() {
    return join({"QComboBox{border-style:solid;border-width:1px;border-color:rgb(204,204,204);"
                 "background-color:rgba(0,0,0,0);font-family:微软雅黑;font-size:12px;"
                 "color:rgb(100,100,100);}",
                 "QComboBox:focus{border-color:rgb(227,127,10);"
                 "background-color:rgba(227,127,10,45);}",
                 "QComboBox:hover{border-color:rgb(227,127,10);"
                 "background-color:rgba(227,127,10,45);}",
                 "QComboBox:on{border-color:rgb(227,127,10);background-color:rgba(227,127,10,45);}",
                 "QComboBox::down-arrow{image:url(images/custom/arrow-normal.png);}",
                 "QComboBox::down-arrow:hover{image:url(images/custom/arrow-hover.png);}",
                 "QComboBox::down-arrow:pressed{image:url(images/custom/arrow-active.png);}",
                 "QComboBox::drop-down{border-style:solid;border-width:0px;"
                 "border-color:rgba(227,127,10,45);padding-right:2px;}",
                 "QScrollBar:horizontal{height:0px;width:0px;}",
                 "QScrollBar:vertical{width:4px;background:rgb(25,28,29);}",
                 "QScrollBar::handle:vertical{width:4px;background:rgb(255,255,255);}",
                 "QListView::item:selected {background:rgb(227,127,10);}",
                 "QListView::item:hover {background:rgb(227,127,10);}",
                 "QListView{border-style:solid;border-width:1px;border-color:rgb(227,127,10);"
                 "background-color:rgb(227,127,10);}"});
}

QString panelButton() {
    return join({"QPushButton{border-style:solid;border-width:1px;border-color:rgb(227,127,10);"
                 "font-family:微软雅黑;font-size:12px;color:rgb(227,127,10); }",
                 "QPushButton:hover{background-color:rgba(227,127,10,45);"
                 "color:rgb(252,189,117);}",
                 "QPushButton:pressed{background-color:rgb(227,127,10);color:rgb(255,255,255);}"});
}

QString panelKeyEdit() {
    return join({"QLineEdit{border-style:solid;border-width:1px;border-color:rgb(204,204,204);"
                 "background-color:rgba(0,0,0,0);font-family:微软雅黑;font-size:12px;"
                 "color:rgb(100,100,100);}",
                 "QLineEdit:focus{border-color:rgb(227,127,10);"
                 "background-color:rgba(227,127,10,45);}"});
}

QString panelCheckBox() {
    return join({"QCheckBox{font-family:微软雅黑;font-size:12px;color:rgb(227,127,10);}"});
}

QString panelNote() {
    return join({"QLabel{font-family:微软雅黑;font-size:11px;color:rgb(200,60,40);}"});
}

QString panelPageButton() {
    return join({"QPushButton{border-style:none;font-family:微软雅黑;font-size:11px;"
                 "color:rgb(227,127,10);}",
                 "QPushButton:hover{color:rgb(252,189,117);}"});
}

QString liveIndicatorLive() {
    return QStringLiteral("QLabel{background-image:url(images/buttons/icon_live.png);}");
}

QString liveIndicatorNotLive() {
    return QStringLiteral("QLabel{background-image:url(images/buttons/icon_unlive.png);}");
}

} // namespace styles
