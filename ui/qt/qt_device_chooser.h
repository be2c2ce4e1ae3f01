// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device chooser of the window: shown before the connect prompt when no
// calculator is configured. It lists what could be the calculator (name,
// maker, IDs, serial number, path, whether this user may open it); the user
// picks one (several for --all and --watch) and may have it remembered.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "shell/front_end.h"

class QCheckBox;
class QListWidget;
class QPushButton;

// Grants this user access to the USB calculator model "vvvv:pppp"; true
// when it was granted.
using AllowAccessFn = std::function<bool(const std::string& id)>;

class CDeviceChooserDlg : public QDialog {
public:
    // With `allowAccess`, a USB row this user may not open offers
    // "Allow access...".
    // `texts` (null: English) is the catalogue its texts are shown in.
    CDeviceChooserDlg(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                      AllowAccessFn allowAccess = {}, const MoCatalogue* texts = nullptr);

    // The picks and the Remember tick, as they stand.
    DeviceChooserResult Result() const;

    QListWidget* List() const { return m_list; }
    QCheckBox* Remember() const { return m_remember; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* AllowAccessButton() const { return m_allow; }

private:
    // The current row when it is a USB calculator this user may not open;
    // -1 otherwise.
    int LockedRow() const;
    void AllowAccess();

    std::vector<ListedDevice> m_candidates;
    AllowAccessFn m_allowAccess;
    QPushButton* m_allow = nullptr;
    QListWidget* m_list = nullptr;
    QCheckBox* m_remember = nullptr;
    const MoCatalogue* m_texts = nullptr;
    QPushButton* m_ok = nullptr;
};

// One row of the list, two lines: what the device calls itself, then how it
// is reached and whether this user may open it.
QString CandidateRowText(const ListedDevice& device, const MoCatalogue* texts = nullptr);

// Shows the chooser modally; Chosen with `result` filled, or Cancelled.
ChooserAnswer RunDeviceChooser(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                               DeviceChooserResult& result, AllowAccessFn allowAccess = {},
                               const MoCatalogue* texts = nullptr);
