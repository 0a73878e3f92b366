#include "ui/HelpWindow.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setWindowTitle("simQuorvex Help");
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setModal(false);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({":/docs"});
    connect(m_browser, &QTextBrowser::sourceChanged, this, &CHelpWindow::FitImages);
    m_browser->setSource(QUrl(kGuide), QTextDocument::MarkdownResource);
    auto* back = new QPushButton("< &Back", this);
    auto* forward = new QPushButton("&Forward >", this);
    auto* home = new QPushButton("&Contents", this);
    auto* close = new QPushButton("Close", this);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(home, &QPushButton::clicked, m_browser, &QTextBrowser::home);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    back->setEnabled(false);
    forward->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    resize(820, 680);
}

void CHelpWindow::FitImages() {
    // The guide's pictures are whole windows: shown at half size.
    QTextDocument* document = m_browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid() || format.width() > 0) continue;
            const QImage image =
                document->resource(QTextDocument::ImageResource, QUrl(format.name()))
                    .value<QImage>();
            if (image.isNull()) continue;
            format.setWidth(image.width() / 2.0);
            format.setHeight(image.height() / 2.0);
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}
