#pragma once
// The about panel (Panel6): the program, its version and licence, where its source and help live.
#include <QFrame>
#include <QLabel>
#include <QUrl>

#include "ui/PanelFrame.h"

// The addresses the window opens.
QUrl ProductHomePage();  // the product's home page (task link 5)
QUrl SourceAddress();    // where the program's source code is published (Label6_9)
QUrl LicenceAddress();   // the full text of the licence on the web (Label6_11)
// The version of this build, as its build system gives it.
QString ProgramVersion();

class Panel6 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel6(QWidget* parent);

    QLabel* Image6_2 = nullptr;  // window with a magnifier
    QLabel* Label6_1 = nullptr;  // product name
    QLabel* Label6_2 = nullptr;  // version line (language text, $VERSION$ filled in)
    QFrame* Panel6_2 = nullptr;
    QLabel* Image6_3 = nullptr;  // two people
    QLabel* Label6_3 = nullptr;  // licence heading (language text)
    QFrame* Panel6_3 = nullptr;
    QLabel* Label6_4 = nullptr;  // Label6_4 .. Label6_7: the licence in four lines
    QLabel* Label6_5 = nullptr;
    QLabel* Label6_6 = nullptr;
    QLabel* Label6_7 = nullptr;
    QLabel* Image6_4 = nullptr;  // globe with an envelope
    QLabel* Label6_8 = nullptr;  // source and help heading (language text)
    QFrame* Panel6_4 = nullptr;
    QLabel* Label6_9 = nullptr;   // the source's address, a link
    QLabel* Label6_10 = nullptr;  // the help pages beside the program, a link
    QLabel* Label6_11 = nullptr;  // the licence's full text, a link

    // Sets the version line from the language text, with the build's version in place of
    // $VERSION$ (or after the text, when it has no place for it).
    void ShowVersion(const QString& languageText);
    QLabel* Image6_5 = nullptr;   // logo
    QLabel* Label6_12 = nullptr;  // notice
};
