#pragma once
// "Keyboard Input": the keyboard device's panel. Key buttons (two-state, one
// per scan code), Record, Play, Rewind, the rate slider, the repeat count,
// the key-code text and the Caps, Num and Scroll indicators, all over the
// library's panel model (CKeyboardPanel), which the widget opens on the
// keyboard and closes when it is closed. Keys typed on the host keyboard
// while the panel has focus are sent too.
#include <QWidget>
#include <map>

class CKeyboard;
class CKeyboardPanel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

class CKeyboardPanelWidget final : public QWidget {
    Q_OBJECT
public:
    CKeyboardPanelWidget(CKeyboard& keyboard, QWidget* parent = nullptr);
    ~CKeyboardPanelWidget() override;

    CKeyboard& Keyboard() const { return m_keyboard; }
    CKeyboardPanel& Panel() const { return m_panel; }

    // The key button of control id (1200 + code), or nullptr.
    QPushButton* KeyButton(int id) const;
    QCheckBox* RecordField() const { return m_record; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* RewindButton() const { return m_rewind; }
    QSlider* RateSlider() const { return m_rate; }
    QSpinBox* RepeatField() const { return m_repeat; }
    QLineEdit* TextField() const { return m_text; }
    // The indicators: lit while the lock is on.
    QLabel* CapsLamp() const { return m_caps; }
    QLabel* NumLamp() const { return m_num; }
    QLabel* ScrollLamp() const { return m_scroll; }
    static bool IsLit(const QLabel* lamp);

    // Shows the model's state in the controls.
    void Refresh();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* BuildKeys();

    CKeyboard& m_keyboard;
    CKeyboardPanel& m_panel;
    std::map<int, QPushButton*> m_keys;
    QCheckBox* m_record;
    QPushButton* m_play;
    QPushButton* m_rewind;
    QSlider* m_rate;
    QSpinBox* m_repeat;
    QLineEdit* m_text;
    QLabel* m_caps;
    QLabel* m_num;
    QLabel* m_scroll;
    bool m_closed = false;
};
