// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_image_folder_dialog.h"

#include <QGridLayout>
#include <QLabel>

#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/session/front_end.h"
#include "ui/qt/qt_message_box.h"

CImageFolderDialog::CImageFolderDialog(QWidget* owner, const QString& title, ImageFolderCheck check,
                                       const MoCatalogue* texts)
    : QFileDialog(owner), m_check(std::move(check)), m_texts(texts)
{
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    // The dialog of Qt's own, whose accept() this class decides.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setObjectName("imageFolderDialog");
    setWindowTitle(title);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(new QLabel(title, this), grid->rowCount(), 0, 1, -1);
    }
}

void CImageFolderDialog::accept()
{
    const QStringList chosen = selectedFiles();
    const Message refused =
        m_check && !chosen.isEmpty() ? m_check(chosen.constFirst().toLocal8Bit().toStdString()) : Message();
    if (refused.Empty()) {
        QFileDialog::accept();
        return;
    }
    const Message text(N_("This folder cannot be used; choose the folder that holds the images.\r\n\r\n%s"), {refused});
    ShowMessageBox(this, text.Render(m_texts).c_str(), Message(N_("Error")).Render(m_texts).c_str(),
                   MB_OK | MB_ICONEXCLAMATION);
}
