// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_history_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/reports/history_reader.h"
#include "shell/reports/history_report.h"
#include "shell/reports/history_table.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/screen_rect.h"

namespace {

// What the window says instead of a table.
constexpr const char* kNoPlace = N_("The history has no place on this computer (no state folder is set).");
constexpr int kWidestColumn = 260;  // pixels a column other than the reason takes at most at first
constexpr const char* kNothingYet = N_("No calculator has been updated on this computer yet.");
// The most runs the window holds; the rest are in --history and the CSV.
constexpr size_t kShownRuns = 2000;

enum Column {
    kWhen = kRunStarted, kWhat = kRunResult, kName = kRunLabel, kWhere = kRunDevice, kSerial = kRunSerial,
    kCalculator = kRunModel, kBefore = kRunOsBefore, kImage = kRunImage, kHow = kRunMode, kWhy = kRunReason,
    kColumnCount = kRunColumnCount
};

// What a cell holds besides its text: how it sorts (the start's UTC time,
// which sorts as text) and, for the result, the word as recorded.
constexpr int kSortRole = Qt::UserRole;
constexpr int kRecordedRole = Qt::UserRole + 1;

// The cells of one record's row, as a person reads them.
QList<QStandardItem*> RowOf(const HistoryRecord& record, const MoCatalogue* texts)
{
    const std::vector<std::string> cells = HistoryWindowCells(record, texts);
    QList<QStandardItem*> row;
    for (const std::string& text : cells) {
        const QString cell = QString::fromStdString(text);
        auto* item = new QStandardItem(cell);
        item->setEditable(false);
        item->setData(cell, kSortRole);
        row.append(item);
    }
    row[kWhen]->setData(QString::fromStdString(record[kStarted].value_or("")), kSortRole);
    row[kWhat]->setData(QString::fromStdString(record[kResult].value_or("")), kRecordedRole);
    if (const QString reason = row[kWhy]->text(); !reason.isEmpty()) {
        // Rich text, so that a long reason is wrapped.
        row[kWhy]->setToolTip(QStringLiteral("<p>%1</p>").arg(reason.toHtmlEscaped()));
    }
    return row;
}

}  // namespace

// The runs, sorted and filtered: by the result as recorded (empty: any)
// and by a text any cell holds (case aside).
class CHistoryRows : public QSortFilterProxyModel {
public:
    explicit CHistoryRows(QObject* parent) : QSortFilterProxyModel(parent), m_runs(0, kColumnCount, this)
    {
        setSourceModel(&m_runs);
        setSortRole(kSortRole);
    }
    QStandardItemModel& Runs() { return m_runs; }
    void SetResult(const QString& recorded)
    {
        m_result = recorded.toStdString();
        invalidateFilter();
    }
    void SetText(const QString& text)
    {
        m_text = text.toStdString();
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        std::vector<std::string> cells;
        for (int c = 0; c < kColumnCount; ++c) {
            cells.push_back(m_runs.index(row, c, parent).data().toString().toStdString());
        }
        return HistoryRunShown(m_runs.index(row, kWhat, parent).data(kRecordedRole).toString().toStdString(), cells,
                               m_result, m_text);
    }

private:
    QStandardItemModel m_runs;
    std::string m_result;
    std::string m_text;
};

CHistoryDialog::CHistoryDialog(QWidget* owner, const std::string& path, const MoCatalogue* texts)
    : QDialog(owner), m_texts(texts)
{
    setWindowTitle(Tr(texts, kHistoryWindowTitle));
    m_rows = new CHistoryRows(this);
    QStringList headings;
    for (const std::string& heading : HistoryWindowHeadings(texts)) {
        headings.append(QString::fromStdString(heading));
    }
    m_rows->Runs().setHorizontalHeaderLabels(headings);
    for (int c = 0; c < kColumnCount; ++c) {
        // A first click on a heading sorts A to Z, the newest runs first.
        m_rows->Runs().setHeaderData(c, Qt::Horizontal, c == kWhen ? Qt::DescendingOrder : Qt::AscendingOrder,
                                     Qt::InitialSortOrderRole);
    }
    const std::string file = path.empty() ? HistoryFilePath() : path;
    QStringList notes;
    std::vector<HistoryRecord> records;
    if (file.empty()) {
        notes.append(Tr(texts, kNoPlace));
    } else {
        m_path = file;
        uint64_t total = 0;
        std::vector<Message> warnings;
        records = ReadNewestRecords(file, kShownRuns, total, warnings);
        if (records.empty() && warnings.empty()) {
            notes.append(Tr(texts, kNothingYet));
        }
        if (total > records.size()) {
            warnings.push_back(Message(N_("Only the newest %d of %d runs are shown; the CSV holds them all."),
                                       {std::to_string(records.size()), std::to_string(total)}));
        }
        for (const Message& warning : warnings) {
            notes.append(Tr(texts, warning));
        }
    }
    Fill(records);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeFilters());
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("runs"));
    m_table->setModel(m_rows);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(kWhen, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setAccessibleName(Tr(texts, N_("Update runs, newest first")));
    m_table->setAccessibleDescription(notes.join(QLatin1Char('\n')));
    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("details"));
    m_details->setReadOnly(true);
    m_details->setPlaceholderText(Tr(texts, N_("Select a run to see it in full here.")));
    m_details->setAccessibleName(Tr(texts, N_("The selected run in full")));
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_details);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    m_notes = new QLabel(notes.join(QLatin1Char('\n')), this);
    m_notes->setObjectName(QStringLiteral("notes"));
    m_notes->setWordWrap(true);
    m_notes->setVisible(!notes.isEmpty());
    layout->addWidget(m_notes);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { ShowSelectedRun(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(Tr(texts, N_("Close")));
    QPushButton* save = buttons->addButton(Tr(texts, N_("&Save as CSV...")), QDialogButtonBox::ActionRole);
    save->setEnabled(!records.empty());
    connect(save, &QPushButton::clicked, this, [this] { AskWhereToSave(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    FitToContents();
    // Where the user reads first: the runs, their newest one current.
    if (m_rows->rowCount() > 0) {
        m_table->selectionModel()->setCurrentIndex(m_rows->index(0, 0), QItemSelectionModel::NoUpdate);
        m_table->setFocus(Qt::OtherFocusReason);
    } else {
        buttons->button(QDialogButtonBox::Close)->setFocus(Qt::OtherFocusReason);
    }
}

void CHistoryDialog::Fill(const std::vector<HistoryRecord>& records)
{
    for (const HistoryRecord& record : records) {
        m_rows->Runs().appendRow(RowOf(record, m_texts));
        const std::string result = record[kResult].value_or("");
        if (!result.empty() && std::find(m_results.begin(), m_results.end(), result) == m_results.end()) {
            m_results.push_back(result);
        }
    }
    std::sort(m_results.begin(), m_results.end());
}

QWidget* CHistoryDialog::MakeFilters()
{
    auto* filters = new QWidget(this);
    auto* row = new QHBoxLayout(filters);
    row->setContentsMargins(0, 0, 0, 0);
    auto* result = new QComboBox(filters);
    result->setObjectName(QStringLiteral("resultFilter"));
    auto* resultLabel = new QLabel(Tr(m_texts, N_("&Result:")), filters);
    resultLabel->setBuddy(result);
    result->addItem(Tr(m_texts, N_("All results")), QString());
    for (const std::string& word : m_results) {
        result->addItem(QString::fromStdString(ShownResultWord(word, m_texts)), QString::fromStdString(word));
    }
    connect(result, &QComboBox::currentIndexChanged, this,
            [this, result] { m_rows->SetResult(result->currentData().toString()); });
    auto* text = new QLineEdit(filters);
    text->setObjectName(QStringLiteral("textFilter"));
    text->setClearButtonEnabled(true);
    text->setPlaceholderText(Tr(m_texts, N_("Show only the runs with this text")));
    text->setAccessibleName(text->placeholderText());
    connect(text, &QLineEdit::textChanged, this, [this](const QString& typed) { m_rows->SetText(typed); });
    row->addWidget(resultLabel);
    row->addWidget(result);
    row->addWidget(text, 1);
    return filters;
}

void CHistoryDialog::FitToContents()
{
    m_table->resizeColumnsToContents();
    int width = 0;
    for (int c = 0; c < kWhy; ++c) {
        m_table->setColumnWidth(c, std::min(m_table->columnWidth(c), kWidestColumn));
        width += m_table->columnWidth(c);
    }
    // Room for a short reason; a long one is cut, and whole on hover and below.
    width += std::min(m_table->columnWidth(kWhy), 2 * kWidestColumn) + 60;
    const QRect room = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(std::min(width, room.width() - kScreenMargin), std::min(520, room.height() - kScreenMargin));
}

void CHistoryDialog::ShowSelectedRun()
{
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        m_details->clear();
        return;
    }
    // The reason first, where it is seen without scrolling, then the rest.
    QString text;
    for (const int c : {kWhy, kWhen, kWhat, kName, kWhere, kSerial, kCalculator, kBefore, kImage, kHow}) {
        const QString cell = m_rows->index(selected.first().row(), c).data().toString();
        if (c != kWhy || !cell.isEmpty()) {
            text += m_rows->headerData(c, Qt::Horizontal).toString() + QStringLiteral(": ") + cell + QLatin1Char('\n');
        }
    }
    m_details->setPlainText(text.trimmed());
}

const QAbstractItemModel* CHistoryDialog::ShownRuns() const
{
    return m_rows;
}

QString CHistoryDialog::Notes() const
{
    return m_notes->text();
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
