// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_device_chooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "device/device_labels.h"
#include "device/device_watch.h"
#include "device/safe_text.h"

#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/startup/device_config.h"
#include "ui/qt/name_dialog.h"
#include "ui/qt/qt_text.h"

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kWatchPeriodMs = 250;

// A row's two lines read as one sentence after the other; its path on hover.
void ShowItemText(QListWidgetItem& item, const QString& path)
{
    item.setToolTip(path);
    item.setData(Qt::AccessibleTextRole, item.text().replace(QLatin1Char('\n'), QStringLiteral(". ")));
    item.setData(Qt::AccessibleDescriptionRole, path);
}

QString Hex4(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

}  // namespace

QString CandidateRowText(const ListedDevice& device, const MoCatalogue* texts)
{
    QString name = !device.productName.empty() ? Text(device.productName)
                   : device.usb                ? Tr(texts, N_("USB device"))
                                               : Tr(texts, N_("Serial port"));
    if (!device.manufacturer.empty()) {
        name += QStringLiteral(" (") + Text(device.manufacturer) + QStringLiteral(")");
    }
    if (!device.label.empty()) {
        name = Text(device.label) + QStringLiteral(" - ") + name;   // the name the user gave it first
    }
    QStringList how = {Text(device.path)};
    if (device.usb && device.found) {
        how << QStringLiteral("ID ") + Hex4(device.vendor) + QLatin1Char(':') + Hex4(device.product);
    }
    if (!device.serialNumber.empty()) {
        how << Tr(texts, N_("serial ")) + Text(device.serialNumber);
    }
    how << (device.mayOpen ? Tr(texts, N_("you may open it"))
                           : Tr(texts, N_("you may not open it: ")) +
                                 QString::fromStdString(device.problem.reason.Render(texts)));
    return name + QLatin1Char('\n') + how.join(QStringLiteral(" - "));
}

CDeviceChooserDlg::CDeviceChooserDlg(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                                     AllowAccessFn allowAccess, const MoCatalogue* texts, CandidateLister lister,
                                     const std::vector<std::string>& watched)
    : QDialog(owner),
      m_candidates(candidates),
      m_allowAccess(std::move(allowAccess)),
      m_texts(texts),
      m_several(several),
      m_lister(std::move(lister)),
      m_watched(watched)
{
    setWindowTitle(several ? Tr(texts, N_("Choose the calculators")) : Tr(texts, N_("Choose the calculator")));
    auto* layout = new QVBoxLayout(this);
    m_intro = new QLabel(this);
    m_intro->setWordWrap(true);
    layout->addWidget(m_intro);
    m_list = new QListWidget(this);
    m_list->setSelectionMode(several ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
    m_list->setObjectName(QStringLiteral("candidates"));
    m_list->setAccessibleName(Tr(texts, N_("What could be the calculator")));
    layout->addWidget(m_list);
    // A port the list does not show (a cable the system does not name).
    auto* pathLine = new QHBoxLayout();
    auto* pathLabel = new QLabel(Tr(texts, N_("Or type the port's &path:")), this);
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("portPath"));
    pathLabel->setBuddy(m_path);
    m_path->setAccessibleName(pathLabel->text().remove(QLatin1Char('&')));
    pathLine->addWidget(pathLabel);
    pathLine->addWidget(m_path, 1);
    layout->addLayout(pathLine);
    m_remember = new QCheckBox(several ? Tr(texts, N_("R&emember these calculators"))
                                       : Tr(texts, N_("R&emember this calculator")),
                               this);
    layout->addWidget(m_remember);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    if (m_lister) {
        m_refresh = buttons->addButton(Tr(texts, N_("&Refresh")), QDialogButtonBox::ActionRole);
        connect(m_refresh, &QPushButton::clicked, this, [this] { Relist(); });
    }
    if (m_allowAccess) {
        m_allow = buttons->addButton(Tr(texts, N_("&Allow access...")), QDialogButtonBox::ActionRole);
        m_allow->setEnabled(false);
        connect(m_allow, &QPushButton::clicked, this, [this] { AllowAccess(); });
    }
    m_name = buttons->addButton(Tr(texts, N_("Na&me...")), QDialogButtonBox::ActionRole);
    m_name->setToolTip(Tr(texts, N_("Give this calculator a name, kept in your configuration")));
    m_name->setVisible(false);
    connect(m_name, &QPushButton::clicked, this, [this] { NameCurrent(); });
    layout->addWidget(buttons);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        UpdateOk();
        if (m_allow != nullptr) {
            m_allow->setEnabled(LockedRow() >= 0);
        }
    });
    connect(m_path, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FillList();
    if (m_lister) {
        // The device watch says when something was plugged or pulled.
        m_watch = std::make_unique<CDeviceWatch>(m_watched);
        m_watchTimer = new QTimer(this);
        connect(m_watchTimer, &QTimer::timeout, this, [this] {
            if (m_watch->TakeChange()) {
                Relist();
            }
        });
        m_watchTimer->start(kWatchPeriodMs);
    }
    resize(560, 360);
}

CDeviceChooserDlg::~CDeviceChooserDlg() = default;

QString CDeviceChooserDlg::IntroText() const
{
    if (m_candidates.empty()) {
        return m_lister ? Tr(m_texts, N_("No calculator is configured, and nothing connected looks like one yet.\n"
                                         "Connect the calculator: it is listed here as soon as it is found."))
                        : Tr(m_texts, N_("No calculator is configured, and nothing connected looks like one.\n"
                                         "Connect the calculator, then start the program again."));
    }
    return m_several ? Tr(m_texts, N_("No calculator is configured. Choose the ones to update:"))
                     : Tr(m_texts, N_("No calculator is configured. Choose the one to update:"));
}

void CDeviceChooserDlg::FillList()
{
    m_intro->setText(IntroText());
    m_list->setAccessibleDescription(m_intro->text());
    m_list->clear();
    for (const ListedDevice& device : m_candidates) {
        m_list->addItem(CandidateRowText(device, m_texts));
        ShowItemText(*m_list->item(m_list->count() - 1), Text(device.path));
    }
    UpdateOk();
    // Where the user acts: the list when it offers something, else the path.
    if (m_list->count() == 0 && !m_path->hasFocus()) {
        m_path->setFocus(Qt::OtherFocusReason);
    }
}

void CDeviceChooserDlg::Relist()
{
    std::vector<std::string> picked;
    for (const size_t row : Result().chosen) {
        if (row < m_candidates.size()) {
            picked.push_back(m_candidates[row].path);
        }
    }
    m_watch->Follow(m_watched);
    m_candidates = m_lister();
    m_relisted = true;
    const QSignalBlocker quiet(m_list);
    FillList();
    for (size_t row = 0; row < m_candidates.size(); ++row) {
        if (std::find(picked.begin(), picked.end(), m_candidates[row].path) != picked.end()) {
            m_list->item(static_cast<int>(row))->setSelected(true);
        }
    }
    if (m_list->count() == 1 && !m_several && picked.empty()) {
        m_list->item(0)->setSelected(true);   // the one that just arrived
    }
    UpdateOk();
}

void CDeviceChooserDlg::UpdateOk()
{
    m_ok->setEnabled(!m_list->selectedItems().isEmpty() || !m_path->text().trimmed().isEmpty());
    const int row = m_list->currentRow();
    m_name->setEnabled(row >= 0 && m_list->item(row)->isSelected());
}

void CDeviceChooserDlg::SetNamer(CalculatorNamer namer)
{
    m_namer = std::move(namer);
    m_name->setVisible(static_cast<bool>(m_namer));
}

void CDeviceChooserDlg::NameCurrent()
{
    const int row = m_list->currentRow();
    if (!m_namer || row < 0 || static_cast<size_t>(row) >= m_candidates.size()) {
        return;
    }
    ListedDevice& device = m_candidates[static_cast<size_t>(row)];
    CalculatorNaming typed;
    const bool ok = AskCalculatorName(this, m_texts,
                                      Tr(m_texts, Message(N_("A name for %s, shown from now on in the rows and the history:"),
                                                          {SafeText(device.path, kLabelChars)})),
                                      {device.label, {}}, typed);
    if (!ok || TypedLabel(typed.label).empty()) {
        return;
    }
    const Message failed = m_namer(StableNameOf(device.path, {device.serialNumber, device.portChain, "", ""}), typed);
    if (!failed.Empty()) {
        QMessageBox::warning(this, Tr(m_texts, N_("Name this calculator")), QString::fromStdString(failed.Render(m_texts)));
        return;
    }
    device.label = SafeText(TypedLabel(typed.label), kLabelChars);
    m_list->item(row)->setText(CandidateRowText(device, m_texts));
    ShowItemText(*m_list->item(row), Text(device.path));
}

int CDeviceChooserDlg::LockedRow() const
{
    const int row = m_list->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= m_candidates.size() || !m_list->item(row)->isSelected()) {
        return -1;
    }
    const ListedDevice& device = m_candidates[static_cast<size_t>(row)];
    return device.usb && device.found && !device.mayOpen && device.problem.code == DeviceProblemCode::PermissionDenied
               ? row
               : -1;
}

void CDeviceChooserDlg::AllowAccess()
{
    const int row = LockedRow();
    if (row < 0) {
        return;
    }
    ListedDevice* device = &m_candidates[static_cast<size_t>(row)];
    const std::string id = (Hex4(device->vendor) + QLatin1Char(':') + Hex4(device->product)).toStdString();
    if (!m_allowAccess(id)) {
        return;   // refused or failed: the row stays as it was
    }
    device->mayOpen = true;
    device->problem = {};
    m_list->item(row)->setText(CandidateRowText(*device, m_texts) + Tr(m_texts, N_(" (access allowed)")));
    ShowItemText(*m_list->item(row), Text(device->path));
    m_allow->setEnabled(false);
}

DeviceChooserResult CDeviceChooserDlg::Result() const
{
    DeviceChooserResult result;
    const QString typed = m_path->text().trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        // A typed path is the one calculator, unless several may be chosen.
        if (m_list->item(row)->isSelected() && (typed.isEmpty() || m_several)) {
            result.chosen.push_back(static_cast<size_t>(row));
        }
    }
    if (m_relisted || !typed.isEmpty()) {
        result.shown = m_candidates;
    }
    if (!typed.isEmpty()) {
        ListedDevice device;
        device.path = typed.toStdString();
        result.chosen.push_back(result.shown.size());
        result.shown.push_back(std::move(device));
    }
    result.remember = m_remember->isChecked();
    return result;
}

ChooserAnswer RunDeviceChooser(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                               DeviceChooserResult& result, AllowAccessFn allowAccess, const MoCatalogue* texts,
                               CandidateLister lister, CalculatorNamer namer)
{
    // The stable names' folder is followed too: a cable's name appears there.
    CDeviceChooserDlg dialog(owner, candidates, several, std::move(allowAccess), texts, std::move(lister),
                             {"/dev/serial/by-id/port"});
    dialog.SetNamer(std::move(namer));
    if (dialog.exec() != QDialog::Accepted) {
        return ChooserAnswer::Cancelled;
    }
    result = dialog.Result();
    return result.chosen.empty() ? ChooserAnswer::Cancelled : ChooserAnswer::Chosen;
}
