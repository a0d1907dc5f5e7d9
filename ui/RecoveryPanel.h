#pragma once
// The recovery panel (Panel4): a file's snapshots with their date, time, size and cause; restoring
// one into a named file; deleting them all.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/PanelFrame.h"

class Panel4 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel4(QWidget* parent);

    // Opening the panel: Edit4_1 empty and no file chosen (the nothing-to-show item, empty
    // details, Button4_2 and Button4_3 disabled). Called on every opening.
    void LoadSettings();
    // ComboBoxEx4_1's selection: shows the details of the chosen snapshot.
    void ComboBoxEx4_1Select();
    // Button4_1: the file dialog; a chosen name goes into Edit4_1 and its snapshots are listed.
    void ChooseFile();
    // Button4_2: the file dialog; the chosen snapshot is copied into the named file.
    void RestoreSnapshot();
    // Button4_3: the stop beep and a Yes/No warning question (WARNINGS/1); on Yes the file's
    // snapshots are deleted and the list refilled.
    void DeleteSnapshots();

    QLabel* Label4_1 = nullptr;
    QLineEdit* Edit4_1 = nullptr;  // read-only: the chosen file
    QPushButton* Button4_1 = nullptr;

    QGroupBox* GroupBox4_1 = nullptr;
    QLabel* Label4_2 = nullptr;
    QComboBox* ComboBoxEx4_1 = nullptr;
    QFrame* Panel4_2 = nullptr;  // separator
    QLabel* Label4_3 = nullptr;
    QLineEdit* Edit4_2 = nullptr;  // date
    QLabel* Label4_4 = nullptr;
    QLineEdit* Edit4_3 = nullptr;  // time
    QLabel* Label4_5 = nullptr;
    QLineEdit* Edit4_4 = nullptr;  // size in thousands of bytes
    QLabel* Label4_6 = nullptr;    // unit
    QLabel* Label4_7 = nullptr;
    QLineEdit* Edit4_5 = nullptr;  // operation

    QLabel* Image4_2 = nullptr;
    QLabel* Label4_8 = nullptr;        // advice
    QPushButton* Button4_2 = nullptr;  // restore
    QPushButton* Button4_3 = nullptr;  // delete
};
