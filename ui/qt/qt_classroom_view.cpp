// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_classroom_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/screen/device_name.h"
#include "shell/session/front_end.h"
#include "shell/startup/device_config.h"
#include "shell/session/row_speech.h"
#include "ui/qt/qt_history_dialog.h"
#include "ui/qt/name_dialog.h"
#include "ui/qt/screen_rect.h"
#include "ui/qt/spoken_text.h"

namespace {

constexpr int kMinimumWidth = 720;
constexpr int kStatusMinimumWidth = 300;   // a reason wraps within at least this
constexpr int kBarMinimumWidth = 160;
// Below this width (large text on a small screen) the status and the bar
// take less room, so that a row's buttons stay in sight.
constexpr int kNarrowWidth = 960;
constexpr int kNarrowStatusWidth = 160;
constexpr int kNarrowBarWidth = 80;

// The room the screen of `widget` gives a window.
QRect RoomOf(const QWidget& widget)
{
    const QScreen* screen = widget.screen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

// The result word's colour; on a dark window (a high-contrast or dark
// theme) a lighter one of each. The word says the result without it.
const char* ResultColour(UpdateResult result, bool darkWindow)
{
    switch (result) {
    case Success:
    case Checked:
        return darkWindow ? "#7ee787" : "#116329";   // green
    case AlreadyCurrent:
    case UnsupportedModel:
        return darkWindow ? "#f2cc60" : "#7d4e00";   // amber: nothing was written
    default:
        return darkWindow ? "#ffa198" : "#cf222e";   // red
    }
}

}  // namespace

CQtClassroomView::CQtClassroomView(StopRequests* stops) : m_stops(stops) {}

CQtClassroomView::~CQtClassroomView()
{
    delete m_window;
}

void CQtClassroomView::MakeWindow()
{
    m_window = new CGuardedDialog(m_mainWindow);
    m_window->setWindowTitle(Tr(kClassroomWindowTitle));
    m_window->setModal(false);
    // Closing the window asks to stop; the update loop decides.
    m_window->SetCloseEnabled(false);
    const bool narrow = RoomOf(*m_window).width() < kNarrowWidth;
    m_window->setMinimumWidth(std::min(kMinimumWidth, RoomOf(*m_window).width() - kScreenMargin));
    auto* layout = new QVBoxLayout(m_window);
    auto* top = new QHBoxLayout();
    m_heading = new QLabel(m_window);
    m_heading->setWordWrap(true);
    QFont bold = m_heading->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_heading->setFont(bold);
    auto* headings = new QVBoxLayout();
    headings->addWidget(m_heading);
    m_note = new QLabel(m_window);
    m_note->setWordWrap(true);
    m_note->hide();
    headings->addWidget(m_note);
    top->addLayout(headings, 1);
    auto* history = new QPushButton(Tr(N_("&History...")), m_window);
    history->setObjectName(QStringLiteral("history"));
    history->setToolTip(Tr(N_("Every calculator updated on this computer")));
    QObject::connect(history, &QPushButton::clicked, m_window, [this] { ShowHistory(); });
    top->addWidget(history, 0, Qt::AlignTop);
    layout->addLayout(top);
    // The rows scroll when the screen is too small for them.
    m_scroll = new QScrollArea(m_window);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Sideways only when even the narrow rows are wider than the screen.
    m_scroll->setHorizontalScrollBarPolicy(narrow ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    // Tab goes from button to button; the area scrolls to the one focused.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    auto* content = new QWidget(m_scroll);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    m_grid = new QGridLayout();
    m_grid->setColumnStretch(1, 3);
    m_grid->setColumnStretch(2, 2);
    m_grid->setColumnMinimumWidth(1, narrow ? kNarrowStatusWidth : kStatusMinimumWidth);
    m_grid->setHorizontalSpacing(12);
    contentLayout->addLayout(m_grid);
    contentLayout->addStretch(1);
    m_scroll->setWidget(content);
    layout->addWidget(m_scroll, 1);
    MakeQuestion(*layout);
    m_rows.clear();
}

void CQtClassroomView::MakeQuestion(QBoxLayout& layout)
{
    m_question = new QWidget(m_window);
    m_question->setObjectName(QStringLiteral("question"));
    auto* line = new QHBoxLayout(m_question);
    line->setContentsMargins(0, 0, 0, 0);
    m_questionText = new QLabel(m_question);
    m_questionText->setWordWrap(true);
    line->addWidget(m_questionText, 1);
    auto* ok = new QPushButton(Tr(N_("OK")), m_question);
    auto* cancel = new QPushButton(Tr(N_("Cancel")), m_question);
    ok->setObjectName(QStringLiteral("questionOk"));
    cancel->setObjectName(QStringLiteral("questionCancel"));
    QObject::connect(ok, &QPushButton::clicked, m_window, [this] { m_answer = IDOK; });
    QObject::connect(cancel, &QPushButton::clicked, m_window, [this] { m_answer = IDCANCEL; });
    // The end of a set with failures: its text says how many.
    auto* retry = new QPushButton(m_question);
    retry->setObjectName(QStringLiteral("questionRetry"));
    QObject::connect(retry, &QPushButton::clicked, m_window, [this] { m_answer = IDRETRY; });
    auto* close = new QPushButton(Tr(N_("Close")), m_question);
    close->setObjectName(QStringLiteral("questionClose"));
    QObject::connect(close, &QPushButton::clicked, m_window, [this] { m_answer = IDCANCEL; });
    line->addWidget(ok);
    line->addWidget(retry);
    line->addWidget(cancel);
    line->addWidget(close);
    m_question->hide();
    layout.addWidget(m_question);
}

int CQtClassroomView::Ask(const char* question, const Message& retry)
{
    if (m_window == nullptr) {
        return 0;
    }
    QStringList buttons = {QStringLiteral("questionOk"), QStringLiteral("questionCancel")};
    if (!retry.Empty()) {
        m_question->findChild<QPushButton*>(QStringLiteral("questionRetry"))->setText(Tr(retry));
        buttons.insert(1, QStringLiteral("questionRetry"));
    }
    return AwaitAnswer(Tr(question), buttons);
}

void CQtClassroomView::AwaitClose()
{
    if (m_window != nullptr) {
        AwaitAnswer(Tr(N_("Each row shows how its calculator ended.")), {QStringLiteral("questionClose")});
    }
}

int CQtClassroomView::AwaitAnswer(const QString& text, const QStringList& buttons)
{
    m_questionText->setText(text);
    for (QPushButton* button : m_question->findChildren<QPushButton*>()) {
        button->setVisible(buttons.contains(button->objectName()));
    }
    m_question->show();
    for (QPushButton* button : m_question->findChildren<QPushButton*>()) {
        // Read with the button that has the focus: the question it answers.
        SetAccessibleDescription(*button, text);
    }
    auto* first = m_question->findChild<QPushButton*>(buttons.front());
    first->setDefault(true);
    first->setFocus();
    FitToContent();
    m_answer = 0;
    m_window->TakeCloseRequest();
    while (m_answer == 0) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        const bool closed = m_window->TakeCloseRequest() ||
                            (m_mainWindow != nullptr && m_mainWindow->TakeCloseRequest());
        const bool ended = m_stops != nullptr && (m_stops->terminate != 0 || m_stops->interrupt != 0);
        if (closed || ended) {
            m_answer = IDCANCEL;
        }
    }
    m_question->hide();
    return m_answer;
}

QDialog* CQtClassroomView::ShowHistory()
{
    if (m_window == nullptr) {
        return nullptr;
    }
    // Not modal: the rows go on being drawn while it is open.
    auto* dialog = new CHistoryDialog(m_window, m_historyPath, m_texts);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void CQtClassroomView::NameRow(size_t line)
{
    if (line >= m_shown.size() || !m_namer) {
        return;
    }
    const ClassroomRow& row = m_shown[line];
    const auto given = m_named.find(row.device);
    const CalculatorNaming now = given != m_named.end() ? given->second : CalculatorNaming{row.usb.label, {}};
    CalculatorNaming typed;
    const bool ok = AskCalculatorName(m_window, m_texts,
                                      Tr(Message(N_("A name for %s, shown from now on in the rows and the history:"),
                                                 {FriendlyDeviceName(row.device, row.usb)})),
                                      now, typed);
    if (!ok || TypedLabel(typed.label).empty()) {
        return;
    }
    const Message failed = m_namer(StableNameOf(row.device, row.usb), typed);
    if (!failed.Empty()) {
        QMessageBox::warning(m_window, Tr(N_("Name this calculator")), Tr(failed));
        return;
    }
    m_named[row.device] = {SafeText(TypedLabel(typed.label), kLabelChars),
                           SafeText(TypedLabel(typed.assetTag), kLabelChars)};
    if (line < m_rows.size()) {
        ShowRow(row, m_rows[line], RowNews::None);
    }
}

void CQtClassroomView::SetRowCount(size_t count)
{
    while (m_rows.size() > count) {
        const RowWidgets row = m_rows.back();
        m_rows.pop_back();
        delete row.device;
        delete row.status;
        delete row.bar;
        delete row.next;
        delete row.stop;
        delete row.name;
    }
    QWidget* content = m_scroll->widget();
    while (m_rows.size() < count) {
        const auto line = m_rows.size();
        RowWidgets row{new QLabel(content), new QLabel(content), new QProgressBar(content),
                       MakeRowButton(N_("&Next"), N_("Update the next calculator connected to this port"), content),
                       MakeRowButton(N_("&Stop"), N_("End this calculator's update; the others go on"), content),
                       MakeRowButton(N_("Na&me..."), N_("Give this calculator a name, kept in your configuration"),
                                     content)};
        // The row's first cell is read as the whole row.
        SetSpokenText(*row.device, QString());
        row.device->setTextFormat(Qt::PlainText);   // a label is the user's text, never markup
        QObject::connect(row.name, &QPushButton::clicked, m_window, [this, line] { NameRow(line); });
        row.bar->setTextVisible(true);
        row.status->setWordWrap(true);
        QObject::connect(row.next, &QPushButton::clicked, m_window, [this, line] {
            if (line < m_devices.size()) {
                m_nextDevice = m_devices[line];
                m_nextAsked = true;
            }
        });
        row.stop->setObjectName(QStringLiteral("stop"));
        QObject::connect(row.stop, &QPushButton::clicked, m_window, [this, line] {
            if (line < m_shown.size()) {
                m_stopNumber = m_shown[line].number;
                m_stopAsked = true;
            }
        });
        row.bar->setMinimumWidth(RoomOf(*m_window).width() < kNarrowWidth ? kNarrowBarWidth : kBarMinimumWidth);
        const int gridLine = static_cast<int>(line);
        m_grid->addWidget(row.device, gridLine, 0, Qt::AlignTop);
        m_grid->addWidget(row.status, gridLine, 1, Qt::AlignTop);
        m_grid->addWidget(row.bar, gridLine, 2, Qt::AlignTop);
        // A row offers Next once ended, Stop only while running: one place for both.
        m_grid->addWidget(row.next, gridLine, 3, Qt::AlignTop);
        m_grid->addWidget(row.stop, gridLine, 3, Qt::AlignTop);
        m_grid->addWidget(row.name, gridLine, 4, Qt::AlignTop);
        m_rows.push_back(row);
    }
    FixTabOrder();
}

// Tab goes from History... through the rows' buttons, row by row, to the
// question's buttons below them: the order they are read in.
void CQtClassroomView::FixTabOrder()
{
    QWidget* previous = m_window->findChild<QPushButton*>(QStringLiteral("history"));
    const auto follow = [&previous](QWidget* next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    for (const RowWidgets& row : m_rows) {
        follow(row.next);
        follow(row.stop);
        follow(row.name);
    }
    for (const char* name : {"questionOk", "questionRetry", "questionCancel", "questionClose"}) {
        follow(m_question->findChild<QPushButton*>(QString::fromLatin1(name)));
    }
}

QPushButton* CQtClassroomView::MakeRowButton(const char* text, const char* tip, QWidget* parent)
{
    auto* button = new QPushButton(Tr(text), parent);
    button->setToolTip(Tr(tip));
    button->hide();
    return button;
}

namespace {

// The row's result word and reason, in the catalogue's language.
QString StatusHtml(const ClassroomRow& row, const MoCatalogue* texts, bool darkWindow)
{
    QString html = QStringLiteral("<b style=\"color:%1\">%2</b>")
                       .arg(QString::fromUtf8(ResultColour(row.result, darkWindow)),
                            QString::fromStdString(ResultWithTime(row).Render(texts)));
    if (!row.reason.Empty()) {
        html += QStringLiteral(": ") + QString::fromStdString(row.reason.Render(texts)).toHtmlEscaped();
    }
    return html;
}

}  // namespace

QString CQtClassroomView::Tr(const Message& message) const
{
    return QString::fromStdString(message.Render(m_texts));
}

void CQtClassroomView::ShowRow(const ClassroomRow& row, RowWidgets& w, RowNews news)
{
    w.next->setVisible(row.offersNext);
    w.stop->setVisible(!row.finished && row.silent);
    w.name->setVisible(m_namer && row.taken);
    // The name a person knows it by; the path stays in the tooltip.
    UsbLocation usb = row.usb;
    if (const auto given = m_named.find(row.device); given != m_named.end()) {
        usb.label = given->second.label;
    }
    const Message name = FriendlyDeviceName(row.device, usb);
    w.device->setText(Tr(name));
    w.device->setToolTip(QString::fromStdString(row.device));
    // A screen reader reads the row in one text from its first cell, and
    // its buttons with the row they act on. The status is read by words
    // that change with the phase, not with every second of a silence.
    const QString spoken = Tr(RowSpokenText(row, name));
    SetSpokenText(*w.device, spoken);
    for (QPushButton* button : {w.next, w.stop, w.name}) {
        SetAccessibleDescription(*button, spoken + QStringLiteral(". ") + button->toolTip());
    }
    SetAccessibleName(*w.status,
        Tr(row.finished ? (row.reason.Empty() ? row.resultWord : Message("%s: %s", {row.resultWord, row.reason}))
           : row.silent ? Message("%s - %s", {row.phase, Message(N_("not answering"))})
                        : row.phase));
    // What a screen reader says of the row's bar: which calculator, which phase.
    SetAccessibleName(*w.bar, Tr(Message(N_("Calculator %1$s: %2$s"), {name, row.finished ? row.resultWord : row.phase})));
    if (news != RowNews::None) {
        AnnounceSpokenText(*w.device);
    }
    if (news == RowNews::Silent) {
        // The user must act here: the Stop of the row, unless the user is
        // busy at another control of the window (another row's Stop).
        QWidget* focused = m_window->focusWidget();
        if (focused == nullptr || focused->objectName() != QStringLiteral("stop") || !focused->isVisible()) {
            w.stop->setFocus(Qt::OtherFocusReason);
        }
    }
    if (row.finished) {
        // The result where the phase was; a full bar for an update, none otherwise.
        const std::string reason = row.reason.Render(m_texts);
        w.status->setTextFormat(Qt::RichText);
        w.status->setText(StatusHtml(row, m_texts, m_window->palette().color(QPalette::Window).lightness() < 128));
        w.status->setToolTip(
            QString::fromStdString(ResultWithTime(row).Render(m_texts) + (reason.empty() ? "" : ": " + reason)));
        w.bar->setRange(0, 1);
        w.bar->setValue(1);
        w.bar->setVisible(row.result == Success);
        return;
    }
    w.status->setTextFormat(Qt::PlainText);
    w.status->setText(Tr(row.silent ? Message("%s - %s", {row.phase, SilentText(row)}) : row.phase));
    w.status->setToolTip(QString());
    w.bar->setRange(0, row.upper > 0 ? row.upper : 1);
    w.bar->setValue(row.upper > 0 ? row.pos : 0);
    w.bar->setVisible(true);
}

void CQtClassroomView::ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading)
{
    if (m_window == nullptr) {
        MakeWindow();
    }
    SetHeading(Tr(heading));
    const bool grew = rows.size() > m_rows.size();
    const size_t before = std::min(m_shown.size(), m_rows.size());
    SetRowCount(rows.size());
    m_devices.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        m_devices.push_back(rows[i].device);
        ShowRow(rows[i], m_rows[i], NewsOf(i < before && m_shown[i].number == rows[i].number ? &m_shown[i] : nullptr, rows[i]));
    }
    m_shown = rows;
    // A row that shows a button more (a silent row's Stop, Name... once the
    // calculator is taken) can make the rows wider than the window.
    const bool wider = m_scroll->widget()->sizeHint().width() > m_scroll->viewport()->width();
    if (!m_window->isVisible()) {
        m_window->show();
        FitToContent();
    } else if (grew || wider) {
        FitToContent();
    }
}

// The heading's first line in bold, its notes (what Enter does, images
// that changed) under it in the normal weight. A wrapped heading keeps
// every line: the window's layout makes room for it at the width it has
// (the rows' area gives way, and scrolls).
void CQtClassroomView::SetHeading(const QString& text)
{
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString first = lineEnd < 0 ? text : text.left(lineEnd);
    const QString notes = lineEnd < 0 ? QString() : text.mid(lineEnd + 1);
    if (m_heading->text() != first || m_note->text() != notes) {
        m_heading->setText(first);
        m_note->setText(notes);
        m_note->setVisible(!notes.isEmpty());
        m_window->layout()->activate();
    }
    FitHeadingHeight();
}

void CQtClassroomView::FitHeadingHeight()
{
    const int width = m_heading->width() > 0 ? m_heading->width() : m_window->width() / 2;
    m_heading->setMinimumHeight(m_heading->heightForWidth(width));
    m_note->setMinimumHeight(m_note->text().isEmpty() ? 0 : m_note->heightForWidth(width));
}

// Grows the window to show its rows whole, as far as the screen
// allows; beyond that the rows scroll. It never shrinks under the user's hand.
void CQtClassroomView::FitToContent()
{
    QWidget* content = m_scroll->widget();
    content->adjustSize();
    const QScreen* screen = m_window->screen();
    const QRect room = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const int chrome = m_window->sizeHint().height() - m_scroll->sizeHint().height();
    const int scrollBar = m_scroll->verticalScrollBar()->sizeHint().width();
    const QSize want(content->sizeHint().width() + m_window->layout()->contentsMargins().left() +
                         m_window->layout()->contentsMargins().right() + scrollBar,
                     chrome + content->heightForWidth(m_scroll->viewport()->width()) + 2);
    const int width = std::min(std::max(want.width(), m_window->width()), room.width() - kScreenMargin);
    const int height = std::min(std::max(want.height(), m_window->height()), room.height() - kScreenMargin);
    m_window->resize(width, height);
    // At the new width the heading may take fewer or more lines.
    m_window->layout()->activate();
    FitHeadingHeight();
}

ClassroomRequest CQtClassroomView::Serve(uint32_t ms)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    loop.exec();
    if (m_stops != nullptr && m_stops->terminate != 0) {
        return ClassroomRequest::Terminate;
    }
    bool closed = m_window != nullptr && m_window->TakeCloseRequest();
    closed = (m_mainWindow != nullptr && m_mainWindow->TakeCloseRequest()) || closed;
    bool interrupted = false;
    if (m_stops != nullptr && m_stops->interrupt != 0) {
        m_stops->interrupt = 0;
        interrupted = true;
    }
    return TakeRequest(closed, interrupted, m_stopAsked, m_nextAsked);
}

void CQtClassroomView::ShowSummary(const std::vector<Message>& /*lines*/, const RunTally& counts)
{
    if (m_window == nullptr) {
        return;
    }
    // The heading says what happened; each row keeps its result and reason,
    // so the summary lines are left to the console and the record.
    SetHeading(Tr(CountsText(counts)));
    FitToContent();
}

void CQtClassroomView::CloseRows()
{
    delete m_window;
    m_rows.clear();
    m_devices.clear();
    m_shown.clear();
    m_nextAsked = false;
    m_stopAsked = false;
}
