#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/ProgramImage.h"
#include "devices/VideoDevice.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "ui/CodeView.h"
#include "ui/DeviceUi.h"
#include "ui/Dialogs.h"
#include "ui/MainFrm.h"

namespace {

// Reports the longest time the event loop went without serving a 5 ms timer.
class CStallMeter final : public QObject {
public:
    static constexpr qint64 kWarmUpNs = 1'000'000'000;
    explicit CStallMeter(QObject* parent) : QObject(parent) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            // The first second (the window being built and shown) is not counted.
            if (m_last != 0 && now > kWarmUpNs) m_worst = std::max(m_worst, now - m_last);
            m_last = now;
            ++m_ticks;
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(5);
        m_clock.start();
    }
    void Report() const {
        std::printf("event loop: %lld ticks of 5 ms, longest gap after the first second %.1f ms\n",
                    static_cast<long long>(m_ticks), static_cast<double>(m_worst) / 1e6);
        std::fflush(stdout);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
    qint64 m_ticks = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("simQuorvex");
    QApplication::setOrganizationName("simQuorvex");
    QApplication::setApplicationVersion(SIMQ_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("simQuorvex, a simulator of small soft-processor computers");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("workspace", "A workspace file to open at start-up.");
    const QCommandLineOption system(
        "system", "Start from a new standard system: vo16, corvane or blank.", "type");
    const QCommandLineOption addUnit(
        "add-unit", "Add a processor: CLASS:NAME[:IRQMASK] (C6502, CVo16, CCorvaneMPU).", "unit");
    const QCommandLineOption addDevice(
        "add-device", "Add a device: CLASS:NAME:FROM:TO[:ro][:size=HEX] (CRam, ...).", "device");
    const QCommandLineOption load("load", "Load a program image (FILE or FILE@HEXADDRESS).",
                                  "file");
    const QCommandLineOption reset("reset", "Reset the active processor after loading.");
    const QCommandLineOption breakAt("break", "Set a breakpoint of the active processor.", "hex");
    const QCommandLineOption run("run", "Run the active processor (without the caution question).");
    const QCommandLineOption runAll("run-all", "Run every processor.");
    const QCommandLineOption panes(
        "panes", "Show these panes of every processor (letters r, b, c, s, m).", "letters");
    const QCommandLineOption screenshot("screenshot", "Save a picture of the window and quit.",
                                        "png");
    const QCommandLineOption after(
        "after", "Milliseconds before the picture or report (default 1500).", "ms", "1500");
    const QCommandLineOption stalls("stall-report",
                                    "Print the event loop's longest stall and quit.");
    for (const auto& option : {system, addUnit, addDevice, load, reset, breakAt, run, runAll, panes,
                               screenshot, after, stalls})
        parser.addOption(option);
    parser.process(app);

    RegisterStandardClasses();
    auto* window = new CMainFrame;
    window->setAttribute(Qt::WA_DeleteOnClose);
    CController& controller = window->Controller();
    // A file named on the command line is opened as a workspace, unless its
    // extension says it is a program image: that is loaded into the machine
    // once the options below have built it.
    const QString named =
        parser.positionalArguments().isEmpty() ? QString() : parser.positionalArguments().front();
    const bool namedImage =
        !named.isEmpty() && ImageFormatOf(named.toStdString()) != EImageFormat::kUnknown;
    if (!named.isEmpty() && !namedImage) window->OpenDocument(named);
    // A machine made from the command line, as the runner makes one.
    auto fail = [window](const QString& text) {
        window->Controller().Prompter().ShowMessage(text, EMessageIcon::Stop);
    };
    if (parser.isSet(system)) {
        DeviceUi::CloseAllDeviceWindows();
        const QString type = parser.value(system).toLower();
        const int index = type == "corvane" ? 0 : type == "vo16" ? 1 : type == "blank" ? 2 : -1;
        std::string error;
        controller.Workspace().NewContents();
        if (index < 0)
            fail("--system takes vo16, corvane or blank.");
        else if (!BuildStandardSystem(controller.Workspace(), static_cast<ESystemType>(index),
                                      &error))
            fail(QString::fromStdString(error));
        controller.Workspace().StartRunThread();
        controller.Workspace().SetActiveProcessor(0);
    }
    for (const QString& value : parser.values(addUnit)) {
        const QStringList parts = value.split(':');
        std::string error;
        if (parts.size() < 2 || parts.size() > 3 ||
            !controller.Workspace().AddUnit(
                parts[0].toStdString(), parts[1].toStdString(),
                parts.size() > 2 ? ParseHexField(parts[2]).value_or(0) : 0, &error))
            fail(QString("--add-unit %1: %2")
                     .arg(value,
                          error.empty() ? "CLASS:NAME[:IRQMASK]" : QString::fromStdString(error)));
        if (!controller.ActiveUnit()) controller.Workspace().SetActiveProcessor(0);
    }
    for (const QString& value : parser.values(addDevice)) {
        const QStringList parts = value.split(':');
        SDeviceSettings device;
        std::optional<uint32_t> from, to;
        if (parts.size() >= 4) {
            device.className = parts[0].toStdString();
            device.name = parts[1].toStdString();
            from = ParseHexField(parts[2]);
            to = ParseHexField(parts[3]);
        }
        bool good = from && to;
        for (qsizetype n = 4; good && n < parts.size(); ++n) {
            if (parts[n] == "ro")
                device.writable = false;
            else if (parts[n].startsWith("size=") && ParseHexField(parts[n].mid(5)))
                device.size = ParseHexField(parts[n].mid(5));
            else
                good = false;
        }
        std::string error;
        if (good) {
            device.from = *from;
            device.to = *to;
            if (!device.size && device.className == "CRam") device.size = *to - *from + 1;
        }
        if (!good || !controller.Workspace().AddDevice(device, &error))
            fail(QString("--add-device %1: %2")
                     .arg(value, error.empty() ? "CLASS:NAME:FROM:TO[:ro][:size=HEX]"
                                               : QString::fromStdString(error)));
    }
    controller.FlushViews();
    if (namedImage) window->LoadFile(named, 0);
    if (parser.isSet(load)) {
        const QString value = parser.value(load);
        const qsizetype at = value.lastIndexOf('@');
        uint32_t address = 0;
        QString path = value;
        if (at > 0) {
            address = ParseHexField(value.mid(at + 1)).value_or(0);
            path = value.left(at);
        }
        window->LoadFile(path, address);
    }
    if (parser.isSet(reset)) {
        if (CMpu* unit = controller.ActiveUnit()) unit->Reset();
        controller.Workspace().RefreshAll();
    }
    if (parser.isSet(panes)) {
        const QString letters = parser.value(panes);
        for (int slot = 0; slot < std::min(controller.UnitCount(), 8); ++slot)
            for (const auto& [letter, pane] :
                 {std::pair{'r', CMainFrame::kRegisters}, std::pair{'b', CMainFrame::kBreakpoints},
                  std::pair{'c', CMainFrame::kCode}, std::pair{'s', CMainFrame::kStatistics},
                  std::pair{'m', CMainFrame::kMemory}})
                if (letters.contains(QLatin1Char(letter)) != bool(window->VisibleMask(slot) & pane))
                    window->TogglePane(slot, pane);
    }
    if (parser.isSet(breakAt)) {
        if (const auto address = ParseHexField(parser.value(breakAt)))
            controller.ToggleBreakpointAt(controller.ActiveSlot(), *address);
    }
    // The display windows of the machine as it now stands.
    DeviceUi::CloseAllDeviceWindows();
    window->show();
    window->OpenDisplayWindows();
    window->show();
    // Asked for on the command line: no caution question.
    if (parser.isSet(run))
        QTimer::singleShot(0, &controller, [&controller] { controller.Run(true); });
    if (parser.isSet(runAll))
        QTimer::singleShot(0, &controller, [&controller] { controller.RunAll(); });

    const int delay = parser.value(after).toInt();
    CStallMeter* meter = parser.isSet(stalls) ? new CStallMeter(&app) : nullptr;
    if (parser.isSet(screenshot) || meter) {
        const QString picture = parser.value(screenshot);
        QTimer::singleShot(delay, window, [window, picture, meter] {
            if (meter) meter->Report();
            if (!picture.isEmpty()) window->grab().save(picture);
            window->Controller().StopAll();
            window->Workspace().SetModifiedFlag(false);
            window->close();
        });
    }
    return QApplication::exec();
}
