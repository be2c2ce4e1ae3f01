// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_history_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "i18n/localize.h"
#include "i18n/text_format.h"
#include "shell/history_report.h"

namespace {

// What the window says instead of a table.
constexpr const char* kNoPlace = N_("The history has no place on this computer (no state folder is set).");
constexpr int kScreenMargin = 40;   // left free around the window on the screen
constexpr const char* kNothingYet = N_("No calculator has been updated on this computer yet.");

QString Tr(const MoCatalogue* texts, const std::string& english)
{
    return QString::fromStdString(Localize(texts, english));
}

}  // namespace

CHistoryDialog::CHistoryDialog(QWidget* owner, const std::string& path, const MoCatalogue* texts)
    : QDialog(owner), m_texts(texts)
{
    setWindowTitle(Tr(texts, kHistoryWindowTitle));
    const std::string file = path.empty() ? HistoryFilePath() : path;
    QString text;
    if (file.empty()) {
        text = Tr(texts, kNoPlace);
    } else {
        QFile history(QString::fromStdString(file));
        const QByteArray bytes = history.open(QIODevice::ReadOnly) ? history.readAll() : QByteArray();
        HistoryContents contents = ReadHistoryText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), file);
        m_records = std::move(contents.records);
        text = m_records.empty() ? Tr(texts, kNothingYet) : QString::fromStdString(HistoryTable(m_records, texts));
        for (const std::string& warning : contents.warnings) {
            text += QLatin1Char('\n') + Tr(texts, warning);
        }
    }
    auto* layout = new QVBoxLayout(this);
    m_table = new QPlainTextEdit(text, this);
    m_table->setReadOnly(true);
    m_table->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* save = buttons->addButton(Tr(texts, N_("Save as CSV...")), QDialogButtonBox::ActionRole);
    save->setEnabled(!m_records.empty());
    connect(save, &QPushButton::clicked, this, [this] { AskWhereToSave(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the table's longest line, as far as the screen allows.
    const QFontMetrics metrics(m_table->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const QRect room = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(std::min(widest + 60, room.width() - kScreenMargin), std::min(420, room.height() - kScreenMargin));
}

QString CHistoryDialog::TableText() const
{
    return m_table->toPlainText();
}

bool CHistoryDialog::SaveCsv(const QString& file) const
{
    QFile out(file);
    const std::string csv = HistoryCsv(m_records);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           out.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) && out.flush();
}

void CHistoryDialog::AskWhereToSave()
{
    // Not modal to the program: the rows behind keep being drawn.
    auto* chooser = new QFileDialog(this, Tr(m_texts, N_("Save the history as CSV")), QString(),
                                    Tr(m_texts, N_("CSV files (*.csv)")));
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setDefaultSuffix(QStringLiteral("csv"));
    chooser->selectFile(QStringLiteral("zentrix-update-history.csv"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString& file) {
        if (!SaveCsv(file)) {
            const std::string text = FormatText(N_("The history could not be saved to %s."), {file.toStdString()});
            QMessageBox::warning(this, windowTitle(), Tr(m_texts, text));
        }
    });
    chooser->open();
}
