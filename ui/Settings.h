#pragma once
// The application's settings store: the listing font and colour (section
// "font", with the keys and defaults of a Windows LOGFONT), the machine-code
// flag, the four recent files and the pane layout ("simCorvane.BarState",
// each pane's sizes under "simCorvane.BarState-SCBar-N").
#include <QColor>
#include <QFont>
#include <QSettings>
#include <QSize>
#include <QStringList>
#include <array>
#include <cstdint>

struct SListingFontSettings {
    int colour = 0;  // 0x00BBGGRR
    int height = 0;  // < 0: character height in pixels; > 0: cell height; 0: default size
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 400;
    int underline = 0;
    int italic = 0;
    int strikeOut = 0;
    int charSet = 1;
    int outPrecision = 0;
    int clipPrecision = 0;
    int quality = 1;
    int pitchAndFamily = 49;
    QString faceName = "Lucida Console";
};

// The sizes of one pane kept between sessions.
struct SPaneSizes {
    QSize horz, vert, floating;
};

class CSettings {
public:
    static constexpr int kRecentFiles = 4;
    static constexpr int kFaceNameLength = 31;
    static constexpr const char* kBarStateKey = "simCorvane.BarState";

    // The application's store; tests pass a store of their own.
    CSettings();
    explicit CSettings(const QString& iniPath);

    SListingFontSettings ReadFont() const;
    void WriteFont(const SListingFontSettings& font);

    // The font the listing is drawn in: the stored face, or the system's
    // fixed-width font where that face is not installed.
    static QFont ToQFont(const SListingFontSettings& font);
    static SListingFontSettings FromQFont(const QFont& font, const QColor& colour);
    static QColor ToColour(int colorref);

    bool ShowMachineCode() const;
    void SetShowMachineCode(bool show);

    QStringList RecentFiles() const;
    // Moves path to the front; the list keeps four entries.
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);

    QByteArray BarState() const;
    void SetBarState(const QByteArray& state);
    SPaneSizes PaneSizes(int pane) const;
    void SetPaneSizes(int pane, const SPaneSizes& sizes);
    // The eight group flags, then the eight visible masks.
    std::array<uint32_t, 16> PaneMasks() const;
    void SetPaneMasks(const std::array<uint32_t, 16>& masks);
    QByteArray WindowGeometry() const;
    void SetWindowGeometry(const QByteArray& geometry);

    void Sync() { m_store.sync(); }

private:
    mutable QSettings m_store;
};
