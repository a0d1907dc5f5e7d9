#pragma once
// The console panel (Panel5): one line per change event received since the program started.
#include <QPlainTextEdit>
#include <QString>

#include "ui/PanelFrame.h"

class Panel5 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel5(QWidget* parent);

    // Adds one line at the end of Memo5_1, leaving the earlier lines as they are. The lines of
    // one turn of the event loop (a batch of changes) go into the text area together, once that
    // turn ends or when the panel is shown, whichever comes first: one edit of a large document
    // costs far more than the text it adds, so adding a batch line by line would not keep up.
    void AppendLine(const QString& line);
    // Moves the lines not yet in Memo5_1 to its end now.
    void FlushLines();

    QPlainTextEdit* Memo5_1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString pending_;           // lines not yet in Memo5_1, joined by line breaks
    bool hasPending_ = false;   // pending_ holds at least one line (it may be empty)
    bool appended_ = false;     // a line was added to Memo5_1 (it may have been empty)
    bool flushQueued_ = false;  // a FlushLines call waits in the event loop
};
