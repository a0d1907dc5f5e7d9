#pragma once
// The console panel (Panel5): one line per change event received since the program started.
#include <QPlainTextEdit>

#include "ui/PanelFrame.h"

class Panel5 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel5(QWidget* parent);

    // Adds one line at the end of Memo5_1, leaving the earlier lines as they are.
    void AppendLine(const QString& line);

    QPlainTextEdit* Memo5_1 = nullptr;

  private:
    bool appended_ = false;  // a line was added (it may have been empty)
};
