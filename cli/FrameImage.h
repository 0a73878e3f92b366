#pragma once
// A video frame as the display shows it, written as a PNG image.
#include <string>

struct SVideoFrame;

// One pixel per frame pixel in the colour the display shows. The file is
// replaced only once it is complete. False with the reason.
bool WriteFramePng(const SVideoFrame& frame, const std::string& path, std::string& error);
