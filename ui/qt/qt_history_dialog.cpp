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
#include <deque>
#include <iterator>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/history_reader.h"
#include "shell/history_report.h"

namespace {

// What the window says instead of a table.
constexpr const char* kNoPlace = N_("The history has no place on this computer (no state folder is set).");
constexpr int kScreenMargin = 40;   // left free around the window on the screen
constexpr const char* kNothingYet = N_("No calculator has been updated on this computer yet.");
// The most runs the window holds; the rest are in --history and the CSV.
constexpr size_t kShownRuns = 2000;

// The newest kShownRuns records of the history at `path`, and the lines of
// warning that go under the table.
std::vector<HistoryRecord> ReadNewest(const std::string& path, uint64_t& total, std::vector<Message>& warnings)
{
    std::deque<HistoryRecord> newest;
    CHistoryReader reader;
    Message problem;
    total = 0;
    if (!reader.Open(path, problem)) {
        warnings.push_back(problem);
        return {};
    }
    HistoryRecord record;
    while (reader.Next(record)) {
        ++total;
        newest.push_back(std::move(record));
        if (newest.size() > kShownRuns) {
            newest.pop_front();
        }
    }
    if (Message bad = BadLinesWarning(reader.BadLines(), SafeText(path)); !bad.Empty()) {
        warnings.push_back(bad);
    }
    return {std::make_move_iterator(newest.begin()), std::make_move_iterator(newest.end())};
}

QString Tr(const MoCatalogue* texts, const Message& message)
{
    return QString::fromStdString(message.Render(texts));
}

QString Tr(const MoCatalogue* texts, const char* english)
{
    return Tr(texts, Message(english));
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
        m_path = file;
        uint64_t total = 0;
        std::vector<Message> warnings;
        m_records = ReadNewest(file, total, warnings);
        text = m_records.empty() ? Tr(texts, kNothingYet) : QString::fromStdString(HistoryTable(m_records, texts));
        if (total > m_records.size()) {
            warnings.push_back(Message(N_("Only the newest %d of %d runs are shown; the CSV holds them all."),
                                       {std::to_string(m_records.size()), std::to_string(total)}));
        }
        for (const Message& warning : warnings) {
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
    CHistoryReader reader;
    Message problem;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || !reader.Open(m_path, problem)) {
        return false;
    }
    const auto write = [&out](const std::string& text) {
        return out.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    };
    bool written = write(HistoryCsvHeader());
    HistoryRecord record;
    while (written && reader.Next(record)) {
        written = write(HistoryCsvRow(record));
    }
    return written && out.flush();
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
            const Message text(N_("The history could not be saved to %s."), {file.toStdString()});
            QMessageBox::warning(this, windowTitle(), Tr(m_texts, text));
        }
    });
    chooser->open();
}
