// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window: the table `--history` prints,
// and a button that saves the runs as CSV for a spreadsheet.
#include <QDialog>
#include <string>
#include <vector>

#include "shell/history.h"

class QPlainTextEdit;

inline constexpr const char* kHistoryWindowTitle = "Zentrix OS Update - history";

class CHistoryDialog : public QDialog {
public:
    // Reads the history at `path` (HistoryFilePath() when empty) once.
    CHistoryDialog(QWidget* owner, const std::string& path);

    // The table as shown (with a line for each record that could not be read).
    QString TableText() const;
    // Writes the runs as CSV to `file`; false when it cannot.
    bool SaveCsv(const QString& file) const;

private:
    void AskWhereToSave();

    std::vector<HistoryRecord> m_records;
    QPlainTextEdit* m_table = nullptr;
};
