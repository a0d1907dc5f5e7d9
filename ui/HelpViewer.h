#pragma once
// A small window that shows the help pages when no browser can be started; links between the
// pages are followed inside it, web and mail links are handed to the desktop.
#include <QDialog>
#include <QTextBrowser>
#include <QUrl>

class THelpViewer : public QDialog {
    Q_OBJECT
  public:
    explicit THelpViewer(QWidget* parent);

    // Shows the page (a file: URL), brings the viewer to the front.
    void ShowPage(const QUrl& page);

    QTextBrowser* Browser = nullptr;

  private:
    void ShowPageTitle();
};
