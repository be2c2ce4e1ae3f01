// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device chooser of the window: shown before the connect prompt when no
// calculator is configured. It lists what could be the calculator (name,
// maker, IDs, serial number, path, whether this user may open it); the user
// picks one (several for --all and --watch) and may have it remembered.
#include <QDialog>
#include <vector>

#include "shell/front_end.h"

class QCheckBox;
class QListWidget;
class QPushButton;

class CDeviceChooserDlg : public QDialog {
public:
    CDeviceChooserDlg(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several);

    // The picks and the Remember tick, as they stand.
    DeviceChooserResult Result() const;

    QListWidget* List() const { return m_list; }
    QCheckBox* Remember() const { return m_remember; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QListWidget* m_list = nullptr;
    QCheckBox* m_remember = nullptr;
    QPushButton* m_ok = nullptr;
};

// One row of the list, two lines: what the device calls itself, then how it
// is reached and whether this user may open it.
QString CandidateRowText(const ListedDevice& device);

// Shows the chooser modally; Chosen with `result` filled, or Cancelled.
ChooserAnswer RunDeviceChooser(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                               DeviceChooserResult& result);
