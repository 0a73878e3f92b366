#pragma once
// The code window of one unit: paints the unit's listing (tools/CodeListing)
// in the listing font, the program counter's line green, breakpoint lines
// light red, with a margin whose click toggles a breakpoint on that line.
// Keys and the scroll bar scroll; Pause, B, O, R and S are run commands.
#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <memory>

#include "tools/CodeListing.h"

class CController;
class CMpu;
class QPrinter;

class CCodeView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    static inline const QColor kProgramCounterColour{0, 255, 0};
    static inline const QColor kBreakpointColour{255, 128, 128};
    // Symbol lines.
    static inline const QColor kLabelColour{0, 0, 160};
    // Columns of the margin drawn left of the listing's column 0.
    static constexpr int kMarginColumns = 2;
    // Columns of the heat column drawn at the right edge while the unit's
    // profile counts (or holds counts).
    static constexpr int kHeatColumns = 7;

    // A count in at most five characters ("9999", "12k", "3.4M").
    static QString CompactCount(uint64_t count);
    // The heat column's colour for an address executed count times of total.
    static QColor HeatColour(uint64_t count, uint64_t total);

    CCodeView(CController& controller, int slot, QWidget* parent = nullptr);
    ~CCodeView() override;

    int Slot() const { return m_listing->GetSlot(); }
    CCodeListing& Listing() { return *m_listing; }
    void SetListingFont(const QFont& font, const QColor& colour);
    void SetShowMachineCode(bool show);
    QSize sizeHint() const override { return {760, 480}; }
    int LineHeight() const;
    int CharWidth() const;

    // "View &Address": asks for an address and moves there.
    void AskViewAddress();
    // Prints one page of the listing from the top address.
    void Print(QPrinter& printer);

    void OnViewsUpdated(unsigned hint);
    // While the unit runs: the listing follows the program counter.
    void OnLiveRefresh();

    // Draws lines of listing into area (screen, printer, tests).
    static void DrawListing(QPainter& painter, const CCodeListing& listing, const QRect& area,
                            const QFont& font, const QColor& text, const QColor& background);

signals:
    // The context menu's "Show in Memory": the unit's memory at address.
    void memoryRequested(int slot, uint32_t address);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void FitLines();
    // The listing line drawn at viewport height y, or nullptr.
    const SListingLine* LineAt(int y) const;
    void OnScrollAction(int action);
    void DrawHeat(QPainter& painter, const CMpu& unit);
    void RunCommand(ERunCommand command, int slot);

    CController& m_controller;
    std::unique_ptr<CCodeListing> m_listing;
    QFont m_font;
    QColor m_textColour{Qt::black};
};
