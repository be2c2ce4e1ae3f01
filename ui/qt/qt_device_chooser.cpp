// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_device_chooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/localize.h"
#include "i18n/text_format.h"

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Tr(const MoCatalogue* texts, const char* english)
{
    return QString::fromStdString(Localize(texts, english));
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
    QStringList how = {Text(device.path)};
    if (device.usb && device.found) {
        how << QStringLiteral("ID ") + Hex4(device.vendor) + QLatin1Char(':') + Hex4(device.product);
    }
    if (!device.serialNumber.empty()) {
        how << Tr(texts, N_("serial ")) + Text(device.serialNumber);
    }
    how << (device.mayOpen ? Tr(texts, N_("you may open it"))
                           : Tr(texts, N_("you may not open it: ")) + Tr(texts, device.problem.c_str()));
    return name + QLatin1Char('\n') + how.join(QStringLiteral(" - "));
}

CDeviceChooserDlg::CDeviceChooserDlg(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                                     AllowAccessFn allowAccess, const MoCatalogue* texts)
    : QDialog(owner), m_candidates(candidates), m_allowAccess(std::move(allowAccess)), m_texts(texts)
{
    setWindowTitle(several ? Tr(texts, N_("Choose the calculators")) : Tr(texts, N_("Choose the calculator")));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(candidates.empty() ? Tr(texts, N_("No calculator is configured, and nothing connected "
                                                               "looks like one.\n"
                                                               "Connect the calculator, then start the program again."))
                             : several ? Tr(texts, N_("No calculator is configured. Choose the ones to update:"))
                                       : Tr(texts, N_("No calculator is configured. Choose the one to update:")),
                             this);
    layout->addWidget(intro);
    m_list = new QListWidget(this);
    m_list->setSelectionMode(several ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
    for (const ListedDevice& device : candidates) {
        m_list->addItem(CandidateRowText(device, texts));
    }
    layout->addWidget(m_list);
    m_remember = new QCheckBox(several ? Tr(texts, N_("Remember these calculators"))
                                       : Tr(texts, N_("Remember this calculator")),
                               this);
    layout->addWidget(m_remember);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    if (m_allowAccess) {
        m_allow = buttons->addButton(Tr(texts, N_("Allow access...")), QDialogButtonBox::ActionRole);
        m_allow->setEnabled(false);
        connect(m_allow, &QPushButton::clicked, this, [this] { AllowAccess(); });
    }
    layout->addWidget(buttons);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        m_ok->setEnabled(!m_list->selectedItems().isEmpty());
        if (m_allow != nullptr) {
            m_allow->setEnabled(LockedRow() >= 0);
        }
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(560, 320);
}

int CDeviceChooserDlg::LockedRow() const
{
    const int row = m_list->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= m_candidates.size() || !m_list->item(row)->isSelected()) {
        return -1;
    }
    const ListedDevice& device = m_candidates[static_cast<size_t>(row)];
    return device.usb && device.found && !device.mayOpen && device.problem == "permission denied" ? row : -1;
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
    device->problem.clear();
    m_list->item(row)->setText(CandidateRowText(*device, m_texts) + Tr(m_texts, N_(" (access allowed)")));
    m_allow->setEnabled(false);
}

DeviceChooserResult CDeviceChooserDlg::Result() const
{
    DeviceChooserResult result;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected()) {
            result.chosen.push_back(static_cast<size_t>(row));
        }
    }
    result.remember = m_remember->isChecked();
    return result;
}

ChooserAnswer RunDeviceChooser(QWidget* owner, const std::vector<ListedDevice>& candidates, bool several,
                               DeviceChooserResult& result, AllowAccessFn allowAccess, const MoCatalogue* texts)
{
    CDeviceChooserDlg dialog(owner, candidates, several, std::move(allowAccess), texts);
    if (dialog.exec() != QDialog::Accepted) {
        return ChooserAnswer::Cancelled;
    }
    result = dialog.Result();
    return result.chosen.empty() ? ChooserAnswer::Cancelled : ChooserAnswer::Chosen;
}
