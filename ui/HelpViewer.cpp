#include "ui/HelpViewer.h"

#include <QVBoxLayout>

namespace {
constexpr int kViewerWidth = 640;
constexpr int kViewerHeight = 480;
}  // namespace

THelpViewer::THelpViewer(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setModal(false);
    setSizeGripEnabled(true);
    resize(kViewerWidth, kViewerHeight);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("HelpBrowser"));
    Browser->setOpenLinks(true);          // links between the pages stay in the viewer
    Browser->setOpenExternalLinks(true);  // web and mail links go to the desktop
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] { ShowPageTitle(); });
}

void THelpViewer::ShowPage(const QUrl& page) {
    Browser->setSource(page);
    ShowPageTitle();
    show();
    raise();
    activateWindow();
}

void THelpViewer::ShowPageTitle() {
    const QString title = Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? Browser->source().fileName() : title);
}
