// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window: a table of the runs (newest
// first; every column sorts at a click on its heading), a filter by result
// and by text, the selected run in full under the table, and a button that
// saves the runs as CSV for a spreadsheet.
#include <QDialog>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/text_format.h"
#include "shell/records/history_file.h"
#include "shell/records/history_record.h"

class QAbstractItemModel;
class QLabel;
class QPlainTextEdit;
class QTableView;
class CHistoryRows;

inline constexpr const char* kHistoryWindowTitle = N_("Zentrix OS Update - history");

class CHistoryDialog : public QDialog {
public:
    // Reads the history at `path` (HistoryFilePath() when empty) once.
    // `texts` (null: English) is the catalogue its texts are shown in.
    CHistoryDialog(QWidget* owner, const std::string& path, const MoCatalogue* texts = nullptr);

    // The runs as shown: sorted and filtered as the window says.
    const QAbstractItemModel* ShownRuns() const;
    // What is said under the table (no history, lines that cannot be read).
    QString Notes() const;
    // Writes every run of the history as CSV to `file`; false when it cannot.
    bool SaveCsv(const QString& file) const;

private:
    void AskWhereToSave();
    void ShowSelectedRun();
    void Fill(const std::vector<HistoryRecord>& records);
    QWidget* MakeFilters();
    void FitToContents();

    std::string m_path;
    const MoCatalogue* m_texts;
    CHistoryRows* m_rows = nullptr;
    QTableView* m_table = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QLabel* m_notes = nullptr;
    std::vector<std::string> m_results;   // the result words the runs have, as recorded
};
