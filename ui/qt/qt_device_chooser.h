// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device chooser of the window: shown before the connect prompt when no
// calculator is configured. It lists what could be the calculator (name,
// maker, IDs, serial number, path, whether this user may open it); the user
// picks one (several for --all and --watch) and may have it remembered.
// Given a lister, it lists them again when the device watch says something
// was plugged or pulled and on Refresh; a port's path may be typed instead.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "shell/session/front_end.h"

class CDeviceWatch;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

// Grants this user access to the USB calculator model "vvvv:pppp"; true
// when it was granted.
using AllowAccessFn = std::function<bool(const std::string& id)>;

class CDeviceChooserDlg : public QDialog {
public:
    // With `allowAccess`, a USB row this user may not open offers
    // "Allow access...".
    // `texts` (null: English) is the catalogue its texts are shown in.
    // With `lister`, the list follows what is plugged in; `watched` are paths
    // whose folders the device watch follows besides the system's events.
    CDeviceChooserDlg(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                      AllowAccessFn allowAccess = {}, const MoCatalogue* texts = nullptr, CandidateLister lister = {},
                      const std::vector<std::string>& watched = {});
    ~CDeviceChooserDlg() override;

    // The picks and the Remember tick, as they stand.
    DeviceChooserResult Result() const;

    QListWidget* List() const { return m_list; }
    QCheckBox* Remember() const { return m_remember; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* AllowAccessButton() const { return m_allow; }
    QPushButton* RefreshButton() const { return m_refresh; }
    QLineEdit* PathField() const { return m_path; }
    QPushButton* NameButton() const { return m_name; }
    // With a namer, a picked row offers "Name...", which gives its
    // calculator a label.
    void SetNamer(CalculatorNamer namer);
    // Lists the candidates again, keeping what was picked (Refresh does).
    void Relist();

private:
    // The current row when it is a USB calculator this user may not open;
    // -1 otherwise.
    int LockedRow() const;
    void AllowAccess();
    void NameCurrent();
    void FillList();
    void UpdateOk();
    QString IntroText() const;

    std::vector<ListedDevice> m_candidates;
    AllowAccessFn m_allowAccess;
    QPushButton* m_allow = nullptr;
    QListWidget* m_list = nullptr;
    QCheckBox* m_remember = nullptr;
    const MoCatalogue* m_texts = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_several = false;
    CandidateLister m_lister;
    bool m_relisted = false;
    QLabel* m_intro = nullptr;
    QPushButton* m_refresh = nullptr;
    QLineEdit* m_path = nullptr;
    std::unique_ptr<CDeviceWatch> m_watch;
    std::vector<std::string> m_watched;
    QTimer* m_watchTimer = nullptr;
    CalculatorNamer m_namer;
    QPushButton* m_name = nullptr;
};

// One row of the list, two lines: what the device calls itself, then how it
// is reached and whether this user may open it.
QString CandidateRowText(const ListedDevice& device, const MoCatalogue* texts = nullptr);

// Shows the chooser modally; Chosen with `result` filled, or Cancelled.
ChooserAnswer RunDeviceChooser(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                               DeviceChooserResult& result, AllowAccessFn allowAccess = {},
                               const MoCatalogue* texts = nullptr, CandidateLister lister = {}, CalculatorNamer namer = {});
