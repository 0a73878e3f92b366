#include "ui/Settings.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <algorithm>

CSettings::CSettings() : m_store() {}

CSettings::CSettings(const QString& iniPath) : m_store(iniPath, QSettings::IniFormat) {}

SListingFontSettings CSettings::ReadFont() const {
    SListingFontSettings font;
    m_store.beginGroup("font");
    auto get = [this](const char* key, int fallback) {
        bool ok = false;
        const int value = m_store.value(key, fallback).toInt(&ok);
        return ok ? value : fallback;
    };
    font.colour = get("colour", font.colour);
    font.height = get("height", font.height);
    font.width = get("width", font.width);
    font.escapement = get("escapement", font.escapement);
    font.orientation = get("orientation", font.orientation);
    font.weight = get("weight", font.weight);
    font.underline = get("underline", font.underline);
    font.italic = get("italic", font.italic);
    font.strikeOut = get("StrikeOut", font.strikeOut);
    font.charSet = get("CharSet", font.charSet);
    font.outPrecision = get("OutPrecision", font.outPrecision);
    font.clipPrecision = get("ClipPrecision", font.clipPrecision);
    font.quality = get("quality", font.quality);
    font.pitchAndFamily = get("PitchAndFamily", font.pitchAndFamily);
    font.faceName = m_store.value("FaceName", font.faceName).toString().left(kFaceNameLength);
    m_store.endGroup();
    return font;
}

void CSettings::WriteFont(const SListingFontSettings& font) {
    m_store.beginGroup("font");
    m_store.setValue("colour", font.colour);
    m_store.setValue("height", font.height);
    m_store.setValue("width", font.width);
    m_store.setValue("escapement", font.escapement);
    m_store.setValue("orientation", font.orientation);
    m_store.setValue("weight", font.weight);
    m_store.setValue("underline", font.underline);
    m_store.setValue("italic", font.italic);
    m_store.setValue("StrikeOut", font.strikeOut);
    m_store.setValue("CharSet", font.charSet);
    m_store.setValue("OutPrecision", font.outPrecision);
    m_store.setValue("ClipPrecision", font.clipPrecision);
    m_store.setValue("quality", font.quality);
    m_store.setValue("PitchAndFamily", font.pitchAndFamily);
    m_store.setValue("FaceName", font.faceName.left(kFaceNameLength));
    m_store.endGroup();
}

QFont CSettings::ToQFont(const SListingFontSettings& settings) {
    QFont font;
    if (QFontDatabase::hasFamily(settings.faceName)) {
        font = QFont(settings.faceName);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    font.setStyleHint(QFont::TypeWriter);
    if (settings.height < 0)
        font.setPixelSize(-settings.height);
    else if (settings.height > 0)
        font.setPixelSize(settings.height);
    else
        font.setPointSize(10);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(settings.weight, 1, 1000)));
    font.setItalic(settings.italic != 0);
    font.setUnderline(settings.underline != 0);
    font.setStrikeOut(settings.strikeOut != 0);
    return font;
}

SListingFontSettings CSettings::FromQFont(const QFont& font, const QColor& colour) {
    SListingFontSettings settings;
    settings.faceName = font.family().left(kFaceNameLength);
    settings.height = -QFontInfo(font).pixelSize();
    settings.weight = font.weight();
    settings.italic = font.italic() ? 1 : 0;
    settings.underline = font.underline() ? 1 : 0;
    settings.strikeOut = font.strikeOut() ? 1 : 0;
    settings.colour = colour.red() | colour.green() << 8 | colour.blue() << 16;
    return settings;
}

QColor CSettings::ToColour(int colorref) {
    return QColor(colorref & 0xFF, colorref >> 8 & 0xFF, colorref >> 16 & 0xFF);
}

bool CSettings::ShowMachineCode() const {
    return m_store.value("Settings/MachineCode", false).toBool();
}

void CSettings::SetShowMachineCode(bool show) {
    m_store.setValue("Settings/MachineCode", show);
}

QStringList CSettings::RecentFiles() const {
    QStringList files;
    for (int n = 1; n <= kRecentFiles; ++n) {
        const QString file = m_store.value(QString("Recent File List/File%1").arg(n)).toString();
        if (!file.isEmpty()) files << file;
    }
    return files;
}

static void StoreRecent(QSettings& store, const QStringList& files) {
    for (int n = 1; n <= CSettings::kRecentFiles; ++n) {
        const QString key = QString("Recent File List/File%1").arg(n);
        if (n <= files.size())
            store.setValue(key, files.at(n - 1));
        else
            store.remove(key);
    }
}

void CSettings::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles)
        files.removeLast();
    StoreRecent(m_store, files);
}

void CSettings::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    StoreRecent(m_store, files);
}

QByteArray CSettings::BarState() const {
    return m_store.value(kBarStateKey).toByteArray();
}

void CSettings::SetBarState(const QByteArray& state) {
    m_store.setValue(kBarStateKey, state);
}

SPaneSizes CSettings::PaneSizes(int pane) const {
    m_store.beginGroup(QString("%1-SCBar-%2").arg(kBarStateKey).arg(pane));
    SPaneSizes sizes;
    auto size = [this](const char* cx, const char* cy) {
        return QSize(m_store.value(cx, -1).toInt(), m_store.value(cy, -1).toInt());
    };
    sizes.horz = size("sizeHorzCX", "sizeHorzCY");
    sizes.vert = size("sizeVertCX", "sizeVertCY");
    sizes.floating = size("sizeFloatCX", "sizeFloatCY");
    m_store.endGroup();
    return sizes;
}

void CSettings::SetPaneSizes(int pane, const SPaneSizes& sizes) {
    m_store.beginGroup(QString("%1-SCBar-%2").arg(kBarStateKey).arg(pane));
    auto put = [this](const char* cx, const char* cy, QSize size) {
        m_store.setValue(cx, size.width());
        m_store.setValue(cy, size.height());
    };
    put("sizeHorzCX", "sizeHorzCY", sizes.horz);
    put("sizeVertCX", "sizeVertCY", sizes.vert);
    put("sizeFloatCX", "sizeFloatCY", sizes.floating);
    m_store.endGroup();
}

std::array<uint32_t, 16> CSettings::PaneMasks() const {
    std::array<uint32_t, 16> masks{};
    const QByteArray data = m_store.value(QString(kBarStateKey) + "-Panes").toByteArray();
    if (data.size() != static_cast<qsizetype>(masks.size() * 4)) return masks;
    for (size_t i = 0; i < masks.size(); ++i) {
        uint32_t value = 0;
        for (int b = 0; b < 4; ++b)
            value |= uint32_t{static_cast<uint8_t>(data[static_cast<qsizetype>(i * 4 + b)])}
                     << (8 * b);
        masks[i] = value;
    }
    return masks;
}

void CSettings::SetPaneMasks(const std::array<uint32_t, 16>& masks) {
    QByteArray data;
    for (uint32_t value : masks)
        for (int b = 0; b < 4; ++b)
            data.append(static_cast<char>(value >> (8 * b) & 0xFF));
    m_store.setValue(QString(kBarStateKey) + "-Panes", data);
}

QByteArray CSettings::WindowGeometry() const {
    return m_store.value("Settings/Geometry").toByteArray();
}

void CSettings::SetWindowGeometry(const QByteArray& geometry) {
    m_store.setValue("Settings/Geometry", geometry);
}
