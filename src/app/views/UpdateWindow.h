#pragma once

#include "app/Updater.h"

#include <QWidget>

#include <functional>

class QPushButton;

namespace tivela {

class Label;

// The window that tells what a check found: a new release with its download, the current
// version being the newest, or why the check failed. Not modal; the shell keeps one and shows
// each notice in it.
class UpdateWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 420;

    // download: opens a found release's download address.
    explicit UpdateWindow(std::function<void(const UpdateNotice&)> download,
                          QWidget* parent = nullptr);

    void setNotice(const UpdateNotice& notice);
    const UpdateNotice& notice() const { return m_notice; }

private:
    std::function<void(const UpdateNotice&)> m_download;
    UpdateNotice m_notice;
    Label* m_heading;
    Label* m_text;
    QPushButton* m_downloadButton;
    QPushButton* m_closeButton;
};

} // namespace tivela
