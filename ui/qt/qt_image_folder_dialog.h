// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The image folder chooser: a folder dialog that refuses a folder whose
// images cannot be used, says why, and stays open for another choice.
#include <QFileDialog>

class MoCatalogue;
#include "shell/session/front_end.h"

class CImageFolderDialog : public QFileDialog {
public:
    // `title` is also said under the fields: without a window manager there
    // is no title bar to read it in.
    CImageFolderDialog(QWidget* owner, const QString& title, ImageFolderCheck check, const MoCatalogue* texts);

    // Closes only on a folder the check passes; otherwise a box says why.
    void accept() override;

private:
    ImageFolderCheck m_check;
    const MoCatalogue* m_texts;
};
