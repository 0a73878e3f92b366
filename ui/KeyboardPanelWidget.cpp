#include "ui/KeyboardPanelWidget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "devices/Keyboard.h"
#include "devices/KeyboardPanel.h"
#include "ui/KeyScanCodes.h"

namespace {

// One key of the drawing: its label, its code (the control id less 1200)
// and its width in quarter keys; code -1 is a gap.
struct SKeyCap {
    const char* label;
    int code;
    int quarters = 4;
};

constexpr int kRightCtrl = CKeyboardPanel::kRightCtrlId - CKeyboardPanel::kFirstKeyId;
constexpr int kRightAlt = CKeyboardPanel::kRightAltId - CKeyboardPanel::kFirstKeyId;
constexpr int kKeyUnit = 7;  // pixels per quarter key

// The main block, the cursor block and the keypad, row by row.
const std::vector<std::vector<SKeyCap>> kRows = {
    {{"Esc", 0x01},
     {"", -1, 4},
     {"F1", 0x3B},
     {"F2", 0x3C},
     {"F3", 0x3D},
     {"F4", 0x3E},
     {"", -1, 2},
     {"F5", 0x3F},
     {"F6", 0x40},
     {"F7", 0x41},
     {"F8", 0x42},
     {"", -1, 2},
     {"F9", 0x43},
     {"F10", 0x44},
     {"F11", 0x57},
     {"F12", 0x58},
     {"", -1, 2},
     {"PS", 0x54},
     {"SL", 0x46}},
    {{"`", 0x29}, {"1", 0x02},     {"2", 0x03}, {"3", 0x04},   {"4", 0x05},  {"5", 0x06},
     {"6", 0x07}, {"7", 0x08},     {"8", 0x09}, {"9", 0x0A},   {"0", 0x0B},  {"-", 0x0C},
     {"=", 0x0D}, {"BS", 0x0E, 8}, {"", -1, 2}, {"Ins", 0x60}, {"Hm", 0x67}, {"Pu", 0x69},
     {"", -1, 2}, {"NL", 0x45},    {"/", 0x6B}, {"*", 0x37},   {"-", 0x4A}},
    {{"Tab", 0x0F, 6}, {"Q", 0x10},     {"W", 0x11}, {"E", 0x12},   {"R", 0x13},   {"T", 0x14},
     {"Y", 0x15},      {"U", 0x16},     {"I", 0x17}, {"O", 0x18},   {"P", 0x19},   {"[", 0x1A},
     {"]", 0x1B},      {"\\", 0x2B, 6}, {"", -1, 2}, {"Del", 0x6A}, {"End", 0x61}, {"Pd", 0x63},
     {"", -1, 2},      {"7", 0x47},     {"8", 0x48}, {"9", 0x49},   {"+", 0x4E}},
    {{"CpsLk", 0x3A, 7},
     {"A", 0x1E},
     {"S", 0x1F},
     {"D", 0x20},
     {"F", 0x21},
     {"G", 0x22},
     {"H", 0x23},
     {"J", 0x24},
     {"K", 0x25},
     {"L", 0x26},
     {";", 0x27},
     {"'", 0x28},
     {"Enter", 0x1C, 9},
     {"", -1, 16},
     {"4", 0x4B},
     {"5", 0x4C},
     {"6", 0x4D}},
    {{"Shift", 0x2A, 9},
     {"Z", 0x2C},
     {"X", 0x2D},
     {"C", 0x2E},
     {"V", 0x2F},
     {"B", 0x30},
     {"N", 0x31},
     {"M", 0x32},
     {",", 0x33},
     {".", 0x34},
     {"/", 0x35},
     {"Shift", 0x36, 11},
     {"", -1, 6},
     {"\u2191", 0x68},
     {"", -1, 6},
     {"1", 0x4F},
     {"2", 0x50},
     {"3", 0x51},
     {"Ent", 0x6C}},
    {{"Ctrl", 0x1D, 6},
     {"Alt", 0x38, 6},
     {"Space", 0x39, 32},
     {"Alt", kRightAlt, 6},
     {"Ctrl", kRightCtrl, 6},
     {"", -1, 2},
     {"\u2190", 0x64},
     {"\u2193", 0x62},
     {"\u2192", 0x66},
     {"", -1, 2},
     {"0", 0x52, 8},
     {".", 0x53}},
};

QLabel* Lamp(const QString& text, QWidget* parent) {
    auto* lamp = new QLabel(text, parent);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setFrameShape(QFrame::Panel);
    lamp->setFrameShadow(QFrame::Sunken);
    lamp->setMinimumWidth(48);
    lamp->setAutoFillBackground(true);
    return lamp;
}

void Light(QLabel* lamp, bool on) {
    lamp->setProperty("lit", on);
    QPalette palette = lamp->palette();
    palette.setColor(QPalette::Window, on ? QColor(0x30, 0xD0, 0x40) : QColor(0x40, 0x40, 0x40));
    palette.setColor(QPalette::WindowText, on ? Qt::black : Qt::lightGray);
    lamp->setPalette(palette);
}

}  // namespace

CKeyboardPanelWidget::CKeyboardPanelWidget(CKeyboard& keyboard, QWidget* parent)
    : QWidget(parent, Qt::Window), m_keyboard(keyboard), m_panel(keyboard.OpenPanel()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Keyboard Input");
    setFocusPolicy(Qt::StrongFocus);

    m_record = new QCheckBox("&Record", this);
    m_play = new QPushButton("&Play", this);
    m_play->setCheckable(true);
    m_rewind = new QPushButton("Re&wind", this);
    m_rate = new QSlider(Qt::Horizontal, this);
    m_rate->setRange(CKeyboardPanel::kMinRate, CKeyboardPanel::kMaxRate);
    m_repeat = new QSpinBox(this);
    m_repeat->setRange(CKeyboardPanel::kMinRepeat, CKeyboardPanel::kMaxRepeat);
    m_text = new QLineEdit(this);
    m_text->setPlaceholderText("key codes, e.g. 1E 9E");
    m_caps = Lamp("Caps", this);
    m_num = Lamp("Num", this);
    m_scroll = Lamp("Scroll", this);
    // Buttons never take the focus: keys typed go to the simulated keyboard,
    // not to a button's space bar.
    for (QWidget* w : std::initializer_list<QWidget*>{m_record, m_play, m_rewind})
        w->setFocusPolicy(Qt::NoFocus);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_record);
    controls->addWidget(m_play);
    controls->addWidget(m_rewind);
    controls->addWidget(new QLabel("Rate:", this));
    controls->addWidget(m_rate, 1);
    controls->addWidget(new QLabel("Repeat:", this));
    controls->addWidget(m_repeat);
    controls->addSpacing(12);
    controls->addWidget(m_caps);
    controls->addWidget(m_num);
    controls->addWidget(m_scroll);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildKeys());
    layout->addLayout(controls);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(new QLabel("Key codes:", this));
    textRow->addWidget(m_text, 1);
    layout->addLayout(textRow);

    connect(m_record, &QCheckBox::clicked, this, [this](bool on) { m_panel.SetRecord(on); });
    connect(m_play, &QPushButton::clicked, this, [this](bool on) { m_panel.SetPlay(on); });
    connect(m_rewind, &QPushButton::clicked, this, [this] { m_panel.Rewind(); });
    connect(m_rate, &QSlider::valueChanged, this, [this](int rate) { m_panel.SetRate(rate); });
    connect(m_repeat, &QSpinBox::valueChanged, this,
            [this](int count) { m_panel.SetRepeatCount(count); });
    connect(m_text, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_panel.SetText(text.toStdString()); });
    // The model may change from a playback step (timer 0): the handler only
    // touches widgets, and not after this one is gone.
    QPointer<CKeyboardPanelWidget> self(this);
    m_panel.SetChangedHandler([self] {
        if (self) self->Refresh();
    });
    Refresh();
}

CKeyboardPanelWidget::~CKeyboardPanelWidget() = default;

QWidget* CKeyboardPanelWidget::BuildKeys() {
    auto* keys = new QWidget(this);
    auto* grid = new QGridLayout(keys);
    grid->setSpacing(2);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    for (const auto& line : kRows) {
        int column = 0;
        for (const SKeyCap& cap : line) {
            if (cap.code >= 0) {
                const int id = CKeyboardPanel::kFirstKeyId + cap.code;
                auto* button = new QPushButton(QString::fromUtf8(cap.label), keys);
                button->setCheckable(true);
                button->setFocusPolicy(Qt::NoFocus);
                button->setMinimumSize(cap.quarters * kKeyUnit, 26);
                button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
                button->setToolTip(QString::asprintf("%02X", cap.code));
                button->setObjectName(QString("key%1").arg(id));
                connect(button, &QPushButton::clicked, this, [this, id] { m_panel.ClickKey(id); });
                grid->addWidget(button, row, column, 1, cap.quarters);
                m_keys[id] = button;
            }
            column += cap.quarters;
        }
        ++row;
    }
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnMinimumWidth(c, kKeyUnit);
    return keys;
}

QPushButton* CKeyboardPanelWidget::KeyButton(int id) const {
    const auto found = m_keys.find(id);
    return found == m_keys.end() ? nullptr : found->second;
}

bool CKeyboardPanelWidget::IsLit(const QLabel* lamp) {
    return lamp->property("lit").toBool();
}

void CKeyboardPanelWidget::Refresh() {
    if (m_closed) return;
    for (auto& [id, button] : m_keys) {
        const QSignalBlocker quiet(button);
        button->setChecked(m_panel.IsKeyChecked(id));
    }
    const QSignalBlocker quietRecord(m_record), quietPlay(m_play), quietRate(m_rate),
        quietRepeat(m_repeat);
    m_record->setChecked(m_panel.IsRecording());
    m_play->setChecked(m_panel.IsPlayChecked());
    m_rate->setValue(m_panel.GetRate());
    m_repeat->setValue(m_panel.GetRepeatCount());
    const QString text = QString::fromStdString(m_panel.GetText());
    if (m_text->text() != text) m_text->setText(text);
    Light(m_caps, m_panel.IsCapsOn());
    Light(m_num, m_panel.IsNumOn());
    Light(m_scroll, m_panel.IsScrollOn());
}

void CKeyboardPanelWidget::closeEvent(QCloseEvent* event) {
    // The panel's text goes back to the keyboard, whose own copy playback
    // uses from now on.
    if (!m_closed && m_keyboard.GetPanel() == &m_panel) {
        m_panel.SetChangedHandler({});
        m_keyboard.ClosePanel();
    }
    m_closed = true;
    event->accept();
}

bool CKeyboardPanelWidget::event(QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && !m_closed) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (!focusWidget() || focusWidget() == this)) {
            TypeKey(m_keyboard, *key, event->type() == QEvent::KeyPress);
            return true;
        }
    }
    return QWidget::event(event);
}

// Keys the text and repeat fields leave alone are not typed: only the panel's
// own focus types.
void CKeyboardPanelWidget::keyPressEvent(QKeyEvent* event) {
    const bool mine = !m_closed && (!focusWidget() || focusWidget() == this);
    if (!mine || !TypeKey(m_keyboard, *event, true)) QWidget::keyPressEvent(event);
}

void CKeyboardPanelWidget::keyReleaseEvent(QKeyEvent* event) {
    const bool mine = !m_closed && (!focusWidget() || focusWidget() == this);
    if (!mine || !TypeKey(m_keyboard, *event, false)) QWidget::keyReleaseEvent(event);
}
