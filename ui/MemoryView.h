#pragma once
// The memory pane of one unit: rows of sixteen bytes over the unit's whole
// address space (address, hex, characters), read through the bus without
// touching any device: what no memory holds (a device register, nothing)
// shows as "--". Above the rows, a field that goes to a hex address or a
// register's value and a choice of register that the view follows. While
// the unit is stopped, hex digits and characters typed over a byte write it;
// bytes that differ from the previous stop are drawn red.
#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

class CController;
class QComboBox;
class QLabel;
class QLineEdit;

class CMemoryView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kBytesPerRow = 16;
    // Rows whose bytes at the last stop are remembered for the next one
    // (more are forgotten, all but the rows in view): scrolling a 16 MiB
    // space while stopped costs no more than this.
    static constexpr size_t kRememberedRows = 4096;
    static constexpr const char* kRunningText = "Running: read-only";
    // ShownByte of an address out of view.
    static constexpr int kNotShown = -2;

    CMemoryView(CController& controller, int slot, QWidget* parent = nullptr);
    ~CMemoryView() override;

    int Slot() const { return m_slot; }
    void SetListingFont(const QFont& font, const QColor& colour);
    QSize sizeHint() const override;

    // A hex address ("1F0", "$1F0", "0x1F0") or a register name (names
    // first, as in breakpoint conditions: "A" is the 6502's accumulator):
    // the caret goes there, its row to the top. False, with the reason shown
    // above the rows, for text that is neither or lies outside the space.
    bool GoTo(const QString& text);
    bool GoToAddress(uint32_t address);
    // The register the view keeps in sight at every refresh ("" or "none":
    // none); false for a name the unit does not have.
    bool SetFollow(const QString& registerName);
    QString Follow() const;

    void OnViewsUpdated(unsigned hint);
    // While the unit runs: the bytes in view as they are now.
    void OnLiveRefresh();

    // What the view shows, for tests and tooltips: the byte at address
    // (-1: "--", kNotShown: out of view), and whether it is drawn changed.
    int ShownByte(uint32_t address) const;
    bool IsChanged(uint32_t address) const;
    uint32_t TopAddress() const;
    uint32_t CaretAddress() const { return m_caret; }
    bool CaretInCharacters() const { return m_inCharacters; }
    QString StatusText() const;
    QLineEdit* GoToField() const { return m_goto; }
    QComboBox* FollowBox() const { return m_follow; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    using SRowBytes = std::array<int16_t, kBytesPerRow>;

    int LineHeight() const;
    int CharWidth() const;
    int VisibleRows() const;
    uint64_t RowCount() const;
    uint32_t AddressMask() const;
    int AddressDigits() const;
    // Column (in characters) of byte n's hex digits and of its character.
    int HexColumn(int n) const;
    int CharColumn(int n) const;
    // The byte under a viewport point, or false.
    bool ByteAt(const QPoint& point, uint32_t& address, bool& inCharacters, bool& lowNibble) const;
    void FitRows();
    // Reads the rows in view (and follows the register); while the unit is
    // stopped, remembers them as this stop's bytes.
    void Reload();
    void ScrollToRow(uint64_t row);
    void MoveCaret(int64_t delta, bool keepNibble = false);
    void PlaceCaret(uint32_t address);
    void EnsureCaretVisible();
    void TypeAt(QChar character);
    void ShowStatus(const QString& text, bool error, const QString& detail = {});
    void OnFollowChosen(int index);
    bool IsUnitRunning() const;

    CController& m_controller;
    int m_slot;
    QWidget* m_bar = nullptr;
    QLineEdit* m_goto = nullptr;
    QComboBox* m_follow = nullptr;
    QLabel* m_status = nullptr;
    QFont m_font;
    QColor m_textColour{Qt::black};

    uint32_t m_caret = 0;
    bool m_lowNibble = false;
    bool m_inCharacters = false;
    // Register index followed, or -1.
    int m_followIndex = -1;
    uint32_t m_followAddress = 0;
    bool m_statusIsError = false;

    // The rows in view as last read, from m_shownTop.
    uint64_t m_shownTop = 0;
    std::vector<int16_t> m_shown;
    // Bytes of rows at the last stop, and at the stop before it, by row.
    std::unordered_map<uint64_t, SRowBytes> m_lastStop;
    std::unordered_map<uint64_t, SRowBytes> m_previousStop;
    uint64_t m_seenStop = 0;
    bool m_shownRunning = false;
};
