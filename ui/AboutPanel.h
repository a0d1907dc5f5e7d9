#pragma once
// The about panel (Panel6): the product, its maker and how to reach them.
#include <QFrame>
#include <QLabel>
#include <QUrl>

#include "ui/PanelFrame.h"

// The addresses the window opens.
QUrl ProductHomePage();  // the product's home page (task link 5)
QUrl MakerHomePage();    // the maker's home page (Label6_9)
QUrl ContactMailLink();  // a new mail to the contact address (Label6_10)
QUrl SupportMailLink();  // a new mail to the support address (Label6_11)

class Panel6 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel6(QWidget* parent);

    QLabel* Image6_2 = nullptr;  // window with a magnifier
    QLabel* Label6_1 = nullptr;  // product name
    QLabel* Label6_2 = nullptr;  // version line (language text)
    QFrame* Panel6_2 = nullptr;
    QLabel* Image6_3 = nullptr;  // two people
    QLabel* Label6_3 = nullptr;  // contact heading (language text)
    QFrame* Panel6_3 = nullptr;
    QLabel* Label6_4 = nullptr;  // maker
    QLabel* Label6_5 = nullptr;  // contact person
    QLabel* Label6_6 = nullptr;  // street and town
    QLabel* Label6_7 = nullptr;  // postal code and country
    QLabel* Image6_4 = nullptr;  // globe with an envelope
    QLabel* Label6_8 = nullptr;  // internet heading (language text)
    QFrame* Panel6_4 = nullptr;
    QLabel* Label6_9 = nullptr;   // maker's home page, a link
    QLabel* Label6_10 = nullptr;  // contact address, a link
    QLabel* Label6_11 = nullptr;  // support address, a link
    QLabel* Image6_5 = nullptr;   // logo
    QLabel* Label6_12 = nullptr;  // notice
};
