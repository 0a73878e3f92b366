#include "ui/VideoConfigDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "ui/DeviceUi.h"

CVideoConfigDialog::CVideoConfigDialog(CComputer& computer, CVideoDevice& device, QWidget* parent)
    : QDialog(parent), m_computer(computer), m_device(device) {
    auto* vic = dynamic_cast<CVic*>(&device);
    setWindowTitle(vic ? "VIC Configuration" : "VO16VGA Configuration");
    auto* layout = new QVBoxLayout(this);
    if (vic) {
        m_border = new QCheckBox("Border", this);
        m_border->setChecked(vic->IsBorderShown());
        layout->addWidget(m_border);
    }
    auto* rateBox = new QGroupBox("Screen Refresh Rate", this);
    m_rate = new QSlider(Qt::Horizontal, rateBox);
    m_rate->setRange(0, CVideoDevice::kSliderMax);
    m_rate->setPageStep(1);
    m_rate->setTickPosition(QSlider::TicksBelow);
    m_rate->setTickInterval(1);
    m_rate->setValue(CVideoDevice::RefreshSliderPosition(device.GetRefreshPeriod()));
    auto* period = new QLabel(rateBox);
    const auto showPeriod = [period](int position) {
        period->setText(QString("%1 ms").arg(CVideoDevice::RefreshPeriodAt(position)));
    };
    showPeriod(m_rate->value());
    connect(m_rate, &QSlider::valueChanged, this, showPeriod);
    auto* rateLayout = new QGridLayout(rateBox);
    rateLayout->addWidget(m_rate, 0, 0, 1, 3);
    rateLayout->addWidget(new QLabel("Fast", rateBox), 1, 0, Qt::AlignLeft);
    rateLayout->addWidget(period, 1, 1, Qt::AlignCenter);
    rateLayout->addWidget(new QLabel("Slow", rateBox), 1, 2, Qt::AlignRight);
    layout->addWidget(rateBox);

    m_reopen = new QPushButton("Reopen Window", this);
    m_reopen->setAutoDefault(false);
    connect(m_reopen, &QPushButton::clicked, this,
            [this] { DeviceUi::OpenDisplayWindow(m_computer, m_device, parentWidget()); });
    layout->addWidget(m_reopen, 0, Qt::AlignLeft);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CVideoConfigDialog::accept() {
    const uint32_t period = CVideoDevice::RefreshPeriodAt(m_rate->value());
    if (auto* vic = dynamic_cast<CVic*>(&m_device))
        vic->ApplySettings(m_border->isChecked(), period);
    else if (auto* vga = dynamic_cast<CVo16VGA*>(&m_device))
        vga->ApplySettings(period);
    QDialog::accept();
}
