// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window: the table `--history` prints,
// and a button that saves the runs as CSV for a spreadsheet.
#include <QDialog>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/text_format.h"
#include "shell/history.h"

class QPlainTextEdit;

inline constexpr const char* kHistoryWindowTitle = N_("Zentrix OS Update - history");

class CHistoryDialog : public QDialog {
public:
    // Reads the history at `path` (HistoryFilePath() when empty) once.
    // `texts` (null: English) is the catalogue its texts are shown in.
    CHistoryDialog(QWidget* owner, const std::string& path, const MoCatalogue* texts = nullptr);

    // The table as shown (with a line for each record that could not be read).
    QString TableText() const;
    // Writes every run of the history as CSV to `file`; false when it cannot.
    bool SaveCsv(const QString& file) const;

private:
    void AskWhereToSave();

    std::string m_path;
    std::vector<HistoryRecord> m_records;   // the newest, as shown
    const MoCatalogue* m_texts;
    QPlainTextEdit* m_table = nullptr;
};
