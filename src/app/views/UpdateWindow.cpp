#include "app/views/UpdateWindow.h"

#include "app/Wording.h"
#include "app/views/Label.h"

#include <QDir>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tivela {

UpdateWindow::UpdateWindow(std::function<void(const UpdateNotice&)> download, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_download(std::move(download))
    , m_heading(new Label(QString(), 15, QFont::DemiBold))
    , m_text(new Label(QString(), 13, QFont::Normal, Theme::Tone::secondary))
    , m_downloadButton(new QPushButton(Wording::download()))
    , m_closeButton(new QPushButton(Wording::close())) {
    setWindowTitle(Wording::updateWindowTitle());
    setFixedWidth(width);
    m_heading->setWordWrap(true);
    m_text->setWordWrap(true);
    // A saved file's path is worth copying.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    buttons->addWidget(m_downloadButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(m_heading);
    layout->addWidget(m_text);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_downloadButton, &QPushButton::clicked, this, [this] {
        m_download(m_notice);
        close();
    });
}

void UpdateWindow::setNotice(const UpdateNotice& notice) {
    m_notice = notice;
    switch (notice.kind) {
    case UpdateNotice::Kind::found: {
        m_heading->setText(Wording::updateFound());
        QString text = Wording::updateFoundText(notice.available, notice.current);
        if (notice.savedFile)
            text += u' ' + Wording::updateSaved(QDir::toNativeSeparators(*notice.savedFile));
        m_text->setText(text);
        break;
    }
    case UpdateNotice::Kind::upToDate:
        m_heading->setText(Wording::upToDate());
        m_text->setText(Wording::upToDateText(notice.current));
        break;
    case UpdateNotice::Kind::failed:
        m_heading->setText(Wording::updateFailed());
        m_text->setText(notice.error);
        break;
    }
    m_downloadButton->setVisible(notice.download.has_value());
    m_downloadButton->setDefault(notice.download.has_value());
    m_closeButton->setDefault(!notice.download.has_value());
    adjustSize();
}

} // namespace tivela
