#pragma once
// "VIC Configuration" and "VO16VGA Configuration": the refresh-rate slider
// over the devices' refresh table ("Fast" 0 to "Slow" 10), the VIC's
// "Border" check box, and "Reopen Window". OK applies: the VIC rebuilds its
// running display at once, the VGA keeps the new period for its next start.
#include <QDialog>

class CComputer;
class CVideoDevice;
class QCheckBox;
class QPushButton;
class QSlider;

class CVideoConfigDialog final : public QDialog {
    Q_OBJECT
public:
    CVideoConfigDialog(CComputer& computer, CVideoDevice& device, QWidget* parent = nullptr);

    // nullptr for the VGA, which has no border.
    QCheckBox* BorderField() const { return m_border; }
    QSlider* RateSlider() const { return m_rate; }
    QPushButton* ReopenButton() const { return m_reopen; }

    void accept() override;

private:
    CComputer& m_computer;
    CVideoDevice& m_device;
    QCheckBox* m_border = nullptr;
    QSlider* m_rate;
    QPushButton* m_reopen;
};
