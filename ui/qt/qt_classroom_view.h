// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of many calculators in a window: one row per calculator with its
// device, the phase and a bar; once it has ended, its result and reason
// (wrapped) where the phase was, and a full bar when it was updated. The
// window grows to its rows, up to the screen, and scrolls beyond. Once the
// set is done the heading says the counts, and the question about the next
// set is asked below the rows (after a stop: a Close button). A row whose
// calculator does not answer shows how long and a Stop of its own. A
// "History..." button shows the runs kept so far.
// Only the GUI thread touches it: the update loop copies the rows out of the
// runs and hands them over here.
#include <QPointer>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/text_format.h"
#include "shell/session/classroom_view.h"
#include "shell/session/front_end.h"
#include "shell/session/row_speech.h"
#include "shell/startup/stop_requests.h"
#include "ui/qt/guarded_dialog.h"

class QBoxLayout;
class QGridLayout;
class QScrollArea;
class QLabel;
class QProgressBar;
class QPushButton;

inline constexpr const char* kClassroomWindowTitle = N_("Zentrix OS Update - calculators");

class CQtClassroomView : public IClassroomView {
public:
    // `stops` (may be null): SIGTERM's request ends the runs without asking.
    explicit CQtClassroomView(StopRequests* stops = nullptr);
    ~CQtClassroomView() override;
    CQtClassroomView(const CQtClassroomView&) = delete;
    CQtClassroomView& operator=(const CQtClassroomView&) = delete;

    // The main window: the rows' window stays in front of it, and its Close
    // asks to stop as the rows' window's own Close does.
    void SetMainWindow(CGuardedDialog* mainWindow) { m_mainWindow = mainWindow; }
    // The catalogue the rows are shown in; null: English.
    void SetCatalogue(const MoCatalogue* texts) { m_texts = texts; }

    void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) override;
    ClassroomRequest Serve(uint32_t ms) override;
    void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) override;
    void CloseRows() override;
    std::string NextDevice() const override { return m_nextDevice; }
    uint32_t StopNumber() const override { return m_stopNumber; }
    // Below the rows, with OK and Cancel; closing the window answers Cancel.
    int Ask(const char* question, const Message& retry = {}) override;
    // Below the rows, a Close button; closing the window, Ctrl+C or
    // SIGTERM close it as well.
    void AwaitClose() override;

    // The window while it exists (tests and screenshots look at it).
    QDialog* Window() const { return m_window; }
    // The history its "History..." button shows (default: HistoryFilePath()).
    void SetHistoryPath(const std::string& path) { m_historyPath = path; }
    // Opens the history window, as the button does; it is the window's child.
    QDialog* ShowHistory();
    // What a row's "Name..." button does with the name typed; without one
    // the rows offer no such button.
    void SetNamer(CalculatorNamer namer) { m_namer = std::move(namer); }
    // Asks for the name of row `line`'s calculator and gives it, as its
    // button does.
    void NameRow(size_t line);

private:
    struct RowWidgets {
        QLabel* device;
        QLabel* status;   // the phase, or the result and its reason
        QProgressBar* bar;
        QPushButton* next;   // shown while the row offers the next calculator on its port
        QPushButton* stop;   // shown while the row's calculator is not answering
        QPushButton* name;   // "Name...", once the row has its calculator
    };
    void MakeWindow();
    void SetRowCount(size_t count);
    void FixTabOrder();
    // `news`: what the row has to say out loud since it was last shown.
    void ShowRow(const ClassroomRow& row, RowWidgets& w, RowNews news);
    void FitToContent();
    void SetHeading(const QString& text);
    void FitHeadingHeight();
    void MakeQuestion(QBoxLayout& layout);
    // Shows the question area with `text` and the buttons named; serves the
    // window until one is pressed or the window is closed (IDCANCEL).
    int AwaitAnswer(const QString& text, const QStringList& buttons);
    QPushButton* MakeRowButton(const char* text, const char* tip, QWidget* parent);

    QString Tr(const Message& message) const;
    QString Tr(const char* english) const { return Tr(Message(english)); }

    StopRequests* m_stops;
    const MoCatalogue* m_texts = nullptr;
    QPointer<CGuardedDialog> m_mainWindow;
    QPointer<CGuardedDialog> m_window;
    QLabel* m_heading = nullptr;
    QLabel* m_note = nullptr;   // the heading's further lines, in the normal weight
    QScrollArea* m_scroll = nullptr;
    QGridLayout* m_grid = nullptr;
    QWidget* m_question = nullptr;   // the question below the rows, and its buttons
    QLabel* m_questionText = nullptr;
    int m_answer = 0;
    std::vector<ClassroomRow> m_shown;    // the rows last shown, for the counts
    std::string m_historyPath;
    std::vector<RowWidgets> m_rows;
    std::vector<std::string> m_devices;   // of the rows, for their Next buttons
    std::string m_nextDevice;             // the row whose Next was pressed
    bool m_nextAsked = false;
    uint32_t m_stopNumber = 0;            // the row whose Stop was pressed
    bool m_stopAsked = false;
    CalculatorNamer m_namer;
    std::map<std::string, CalculatorNaming> m_named;   // names and tags given here, by device path
};
