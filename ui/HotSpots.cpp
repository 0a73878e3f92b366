#include "ui/HotSpots.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/Mpu.h"
#include "ui/Controller.h"

CHotSpots::CHotSpots(CController& controller, std::function<void(int, uint32_t)> show,
                     QWidget* parent)
    : QWidget(parent),
      m_controller(controller),
      m_show(std::move(show)),
      m_summary(new QLabel(this)),
      m_table(new QTableWidget(0, 4, this)) {
    m_table->setHorizontalHeaderLabels({"Address", "Count", "Share", "Instruction"});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_table->font()).height() + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_summary->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const QTableWidgetItem* item = m_table->item(row, 0);
        if (item && m_show) m_show(m_slot, item->data(Qt::UserRole).toUInt());
    });
    Refresh();
}

void CHotSpots::Refresh() {
    m_slot = m_controller.ActiveSlot();
    const CMpu* unit = m_controller.Unit(m_slot);
    const CDebugger& debugger = m_controller.Debugger();
    if (!unit) {
        m_summary->setText("No processing unit.");
        m_table->setRowCount(0);
        return;
    }
    const CProfile& profile = debugger.Profile(m_slot);
    const uint64_t total = profile.GetTotal();
    const QString name =
        QString("MPU%1 %2").arg(m_slot).arg(QString::fromStdString(unit->GetName()));
    if (!debugger.IsProfileEnabled() && total == 0) {
        m_summary->setText(name +
                           ": the profile is off. Turn on Debug > Profile Execution and run.");
        m_table->setRowCount(0);
        return;
    }
    m_summary->setText(QString("%1: %2 instructions counted%3")
                           .arg(name)
                           .arg(QLocale().toString(static_cast<qulonglong>(total)))
                           .arg(debugger.IsProfileEnabled() ? "" : " (profile off)"));
    std::vector<std::pair<uint32_t, uint64_t>> counts = profile.GetCounts();
    const int rows = static_cast<int>(std::min<size_t>(counts.size(), kRows));
    m_table->setRowCount(rows);
    const int digits = unit->GetAddressMask() > 0xFFFF ? 6 : 4;
    const uint32_t scale = std::max<uint32_t>(1, unit->GetAddressScale());
    for (int row = 0; row < rows; ++row) {
        const auto [pc, count] = counts[static_cast<size_t>(row)];
        const SDisassembly line = unit->Disassemble(pc * scale);
        auto* address = new QTableWidgetItem(
            QString("%1").arg(pc * scale, digits, 16, QLatin1Char('0')).toUpper());
        address->setData(Qt::UserRole, pc);
        auto* number = new QTableWidgetItem(QLocale().toString(static_cast<qulonglong>(count)));
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* share = new QTableWidgetItem(
            QString::number(
                total ? 100.0 * static_cast<double>(count) / static_cast<double>(total) : 0.0, 'f',
                1) +
            "%");
        share->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, 0, address);
        m_table->setItem(row, 1, number);
        m_table->setItem(row, 2, share);
        // In upper case, as the code window lists it.
        const QString instruction =
            QString::fromStdString(line.mnemonic + " " + line.operand).trimmed().toUpper();
        m_table->setItem(row, 3, new QTableWidgetItem(instruction));
    }
    m_table->resizeColumnsToContents();
}
