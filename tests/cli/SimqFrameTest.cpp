// simq --frame: the PNG it writes is the frame the library renders for the
// same workspace, pixel for pixel, in the colours the display shows.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/SimqProcess.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/WorkspaceFile.h"
#include "core/system/StandardClasses.h"
#include "devices/VideoDevice.h"
#include "devices/VideoFrame.h"

namespace {

// Opens the workspace simq saved, renders the device's frame with the
// library and compares it with the PNG.
void ExpectPngIsTheLibraryFrame(const std::string& workspace, const std::string& device,
                                const std::string& png) {
    RegisterStandardClasses();
    CComputer computer;
    std::string error;
    ASSERT_TRUE(OpenWorkspaceFile(computer, workspace, &error)) << error;
    auto* video = dynamic_cast<CVideoDevice*>(computer.GetDevices()->FindByName(device));
    ASSERT_NE(video, nullptr);
    SVideoFrame frame;
    video->RenderFrame(frame);

    const QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull()) << png;
    ASSERT_EQ(image.width(), static_cast<int>(frame.width));
    ASSERT_EQ(image.height(), static_cast<int>(frame.height));
    int mismatches = 0;
    for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint32_t shown = image.pixel(static_cast<int>(x), static_cast<int>(y)) & 0xFFFFFF;
            if (shown != frame.RgbAt(x, y) && mismatches++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << shown
                              << " in the PNG, " << frame.RgbAt(x, y) << " rendered";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

uint32_t PixelAt(const std::string& png, int x, int y) {
    return QImage(QString::fromStdString(png)).pixel(x, y) & 0xFFFFFF;
}

TEST(SimqFrame, TheVo16CheckerboardExample) {
    const CScratchFolder folder;
    const std::string png = folder.Path("checkerboard.png");
    const SSimqResult result =
        RunSimq({"--load", SourcePath("examples/vo16/checkerboard.s19"), "--break", "FF1E", "--run",
                 "--frame", "Vo16 VGA Controller", png, "--save", folder.Path("work.sqw")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ExpectPngIsTheLibraryFrame(folder.Path("work.sqw"), "Vo16 VGA Controller", png);
    // Squares of 8 x 8 pixels, black at the top left.
    EXPECT_EQ(PixelAt(png, 0, 0), 0x000000u);
    EXPECT_EQ(PixelAt(png, 8, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(png, 0, 8), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(png, 575, 454), 0xFFFFFFu);
}

// The command line the Corvane example documents: the program runs until the
// time limit while the VIC's display renders and the time slicer's timer
// interrupts it.
TEST(SimqFrame, TheCorvanePictureExampleWithItsTimeSlicerTicks) {
    const CScratchFolder folder;
    const std::string png = folder.Path("picture.png");
    const SSimqResult result =
        RunSimq({"--system", "corvane", "--load", SourcePath("examples/corvane/picture.s19"),
                 "--limit-seconds", "2", "--run-all", "--frame", "VIC", png, "--save",
                 folder.Path("work.sqw"), "--exec", "D 10 3", "--json"});
    ASSERT_EQ(result.exitCode, 1) << result.err;
    ExpectPngIsTheLibraryFrame(folder.Path("work.sqw"), "VIC", png);

    // The picture starts at pixel 52 of line 24 of the bordered frame: colour
    // 0, then every 16 pixels the next colour of the palette.
    EXPECT_EQ(PixelAt(png, 52, 24), 0x000000u);
    EXPECT_EQ(PixelAt(png, 52 + 16, 24), 0x13EF30u);
    EXPECT_EQ(PixelAt(png, 52, 24 + 16), 0x13EF30u);

    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    // The handler counted at least one tick of the slicer's 200 ms timer.
    EXPECT_EQ(lines[0].substr(0, 8), ":000010 ");
    EXPECT_NE(lines[0].substr(8, 2), "00") << lines[0];
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(lines[1])).object();
    EXPECT_EQ(json["stop_reason"].toString(), "time-limit");
}

}  // namespace
