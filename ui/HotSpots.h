#pragma once
// The hot-spots list: the addresses one unit executed most often while its
// profile counted, with their counts, their share of the unit's instructions
// and their instructions. It follows the active unit; a double click shows
// the address in the unit's code window.
#include <QWidget>
#include <cstdint>
#include <functional>

class CController;
class QLabel;
class QTableWidget;

class CHotSpots final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 50;

    // show: moves the unit's code window to an address (in the unit's
    // program-counter numbering).
    CHotSpots(CController& controller, std::function<void(int slot, uint32_t pc)> show,
              QWidget* parent = nullptr);
    QTableWidget* Table() const { return m_table; }
    // Reads the active unit's profile afresh.
    void Refresh();

private:
    CController& m_controller;
    std::function<void(int, uint32_t)> m_show;
    QLabel* m_summary;
    QTableWidget* m_table;
    int m_slot = -1;
};
