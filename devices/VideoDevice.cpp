#include "devices/VideoDevice.h"

#include <system_error>

#include "core/Devices.h"
#include "core/Host.h"
#include "devices/DisplayThread.h"

CVideoDevice::CVideoDevice() = default;

CVideoDevice::~CVideoDevice() {
    StopDisplay();
}

int CVideoDevice::RefreshSliderPosition(uint32_t periodMs) {
    for (int position = 0; position < kSliderMax; ++position) {
        if (kRefreshTable[position] >= periodMs) return position;
    }
    return kSliderMax;
}

uint32_t CVideoDevice::RefreshPeriodAt(int position) {
    if (position < 0) position = 0;
    if (position >= static_cast<int>(kRefreshTable.size())) position = kRefreshTable.size() - 1;
    return kRefreshTable[position];
}

bool CVideoDevice::StartDisplay() {
    if (m_display) return true;
    if (!Bus()) return false;
    auto display = std::make_unique<CDisplayThread>(*this);
    // No thread to be had (the system's limit): no display, and no exception
    // leaves the library.
    try {
        display->Start();
    } catch (const std::system_error&) {
        return false;
    }
    m_display = std::move(display);
    return true;
}

void CVideoDevice::StopDisplay() {
    if (!m_display) return;
    m_display->Post(CDisplayThread::EMessage::Quit);
    if (!m_display->WaitForExit(m_stopTimeout))
        Host().ShowMessage(kStopFailedText, EMessageIcon::Exclamation);
    m_display->Join();
    m_display.reset();
}

void CVideoDevice::PostDisplayQuit() {
    if (m_display) m_display->Post(CDisplayThread::EMessage::Quit);
}

void CVideoDevice::RebuildDisplay() {
    if (m_display) m_display->Post(CDisplayThread::EMessage::Rebuild);
}

void CVideoDevice::RequestFrame() {
    if (m_display) m_display->Post(CDisplayThread::EMessage::Render);
}

bool CVideoDevice::CopyFrame(SVideoFrame& frame) const {
    std::lock_guard guard(m_frameLock);
    if (m_frame.IsEmpty()) return false;
    frame = m_frame;
    return true;
}

void CVideoDevice::Publish(const SVideoFrame& frame) {
    {
        std::lock_guard guard(m_frameLock);
        m_frame = frame;
        m_frame.sequence = m_frameCount + 1;
        m_frameCount = m_frame.sequence;
    }
    Host().FrameReady(*this);
}

void CVideoDevice::RenderFrame(SVideoFrame& frame) {
    BuildFrame(frame);
    Render(frame);
    frame.sequence = 0;
}

int RunningDisplays(const CDevices& bus) {
    int running = 0;
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        if (auto* video = dynamic_cast<CVideoDevice*>(device); video && video->IsDisplayRunning())
            ++running;
    }
    return running;
}

int StartDisplays(CDevices& bus) {
    int running = RunningDisplays(bus);
    int leftOut = 0;
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        auto* video = dynamic_cast<CVideoDevice*>(device);
        if (!video || video->IsDisplayRunning()) continue;
        if (running >= kMaxDisplays) {
            ++leftOut;
        } else if (video->StartDisplay()) {
            ++running;
        }
    }
    return leftOut;
}

void StopDisplays(CDevices& bus) {
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        if (auto* video = dynamic_cast<CVideoDevice*>(device)) video->PostDisplayQuit();
    }
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        if (auto* video = dynamic_cast<CVideoDevice*>(device)) video->StopDisplay();
    }
}
