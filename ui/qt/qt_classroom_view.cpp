// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_classroom_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kMinimumWidth = 720;

const char* ResultColour(UpdateResult result)
{
    switch (result) {
    case Success:
        return "#1a7f37";   // green
    case AlreadyCurrent:
    case UnsupportedModel:
        return "#9a6700";   // amber: nothing was written
    default:
        return "#cf222e";   // red
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
    m_window->setWindowTitle(QString::fromUtf8(kClassroomWindowTitle));
    m_window->setModal(false);
    // Closing the window asks to stop; the update loop decides.
    m_window->SetCloseEnabled(false);
    m_window->setMinimumWidth(kMinimumWidth);
    auto* layout = new QVBoxLayout(m_window);
    m_heading = new QLabel(m_window);
    QFont bold = m_heading->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_heading->setFont(bold);
    layout->addWidget(m_heading);
    m_grid = new QGridLayout();
    m_grid->setColumnStretch(2, 2);
    m_grid->setColumnStretch(3, 3);
    m_grid->setHorizontalSpacing(12);
    layout->addLayout(m_grid);
    m_summary = new QLabel(m_window);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->hide();
    layout->addWidget(m_summary);
    layout->addStretch(1);
    m_rows.clear();
}

void CQtClassroomView::SetRowCount(size_t count)
{
    while (m_rows.size() > count) {
        const RowWidgets row = m_rows.back();
        m_rows.pop_back();
        delete row.device;
        delete row.phase;
        delete row.bar;
        delete row.result;
        delete row.next;
    }
    while (m_rows.size() < count) {
        const int line = static_cast<int>(m_rows.size());
        RowWidgets row{new QLabel(m_window), new QLabel(m_window), new QProgressBar(m_window), new QLabel(m_window),
                       new QPushButton(QStringLiteral("Next"), m_window)};
        row.bar->setTextVisible(true);
        row.next->setToolTip(QStringLiteral("Update the next calculator connected to this port"));
        row.next->hide();
        QObject::connect(row.next, &QPushButton::clicked, m_window, [this, line] {
            if (static_cast<size_t>(line) < m_devices.size()) {
                m_nextDevice = m_devices[static_cast<size_t>(line)];
                m_nextAsked = true;
            }
        });
        row.bar->setMinimumWidth(160);
        m_grid->addWidget(row.device, line, 0);
        m_grid->addWidget(row.phase, line, 1);
        m_grid->addWidget(row.bar, line, 2);
        m_grid->addWidget(row.result, line, 3);
        m_grid->addWidget(row.next, line, 4);
        m_rows.push_back(row);
    }
}

void CQtClassroomView::ShowRows(const std::vector<ClassroomRow>& rows, const std::string& heading)
{
    if (m_window == nullptr) {
        MakeWindow();
    }
    m_heading->setText(QString::fromStdString(heading));
    SetRowCount(rows.size());
    m_devices.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const ClassroomRow& row = rows[i];
        RowWidgets& w = m_rows[i];
        m_devices.push_back(row.device);
        w.next->setVisible(row.offersNext);
        w.device->setText(QString::fromStdString(row.device));
        w.phase->setText(QString::fromStdString(row.silent ? row.phase + " - not answering" : row.phase));
        if (row.finished) {
            w.bar->setRange(0, 1);
            w.bar->setValue(row.result == Success ? 1 : 0);
            w.result->setText(QStringLiteral("<b style=\"color:%1\">%2</b>%3")
                                  .arg(QString::fromUtf8(ResultColour(row.result)),
                                       QString::fromStdString(row.resultWord),
                                       row.reason.empty() ? QString()
                                                          : QStringLiteral(": ") +
                                                                QString::fromStdString(row.reason).toHtmlEscaped()));
            w.result->setToolTip(QString::fromStdString(row.reason));
            w.result->setWordWrap(true);
        } else {
            w.bar->setRange(0, row.upper > 0 ? row.upper : 1);
            w.bar->setValue(row.upper > 0 ? row.pos : 0);
            w.result->clear();
        }
    }
    if (!m_window->isVisible()) {
        m_window->show();
    }
}

ClassroomRequest CQtClassroomView::Serve(uint32_t ms)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    loop.exec();
    if (m_stops != nullptr && m_stops->terminate != 0) {
        return ClassroomRequest::Terminate;
    }
    bool asked = m_window != nullptr && m_window->TakeCloseRequest();
    asked = (m_mainWindow != nullptr && m_mainWindow->TakeCloseRequest()) || asked;
    if (m_stops != nullptr && m_stops->interrupt != 0) {
        m_stops->interrupt = 0;
        asked = true;
    }
    if (!asked && m_nextAsked) {
        m_nextAsked = false;
        return ClassroomRequest::Next;
    }
    return asked ? ClassroomRequest::Stop : ClassroomRequest::None;
}

void CQtClassroomView::ShowSummary(const std::vector<std::string>& lines)
{
    if (m_window == nullptr) {
        return;
    }
    QString text;
    for (const std::string& line : lines) {
        text += QString::fromStdString(line) + QLatin1Char('\n');
    }
    m_summary->setText(text.trimmed());
    m_summary->show();
}

void CQtClassroomView::CloseRows()
{
    delete m_window;
    m_rows.clear();
    m_devices.clear();
    m_nextAsked = false;
}
