#include "platform/win32/wave_out_tone.h"

#include "platform/diagnostics.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/windows_api.h"

#include <mmsystem.h>

namespace {

// Three buffers of 10 ms: one playing, two ready; a new pitch is heard within about 20 ms.
constexpr std::size_t kBuffers = 3;
constexpr std::size_t kSamples = ToneSynth::kSampleRate / 100;

std::string WaveOutError(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = {};
    ::waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c)
        narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
    return narrow + " (" + std::to_string(result) + ")";
}

} // namespace

struct WaveOutTone::Device {
    HWAVEOUT out = nullptr;
    HANDLE done = nullptr; // set by the device whenever it hands a buffer back
    std::array<WAVEHDR, kBuffers> headers{};
    std::array<std::vector<std::int16_t>, kBuffers> samples;
};

WaveOutTone::WaveOutTone() {
    if (::waveOutGetNumDevs() == 0)
        m_unavailable = "no waveOut device";
}

WaveOutTone::~WaveOutTone() {
    if (!m_thread.joinable())
        return;
    m_stop = true;
    ::SetEvent(m_device->done);
    m_thread.join();
    ::waveOutReset(m_device->out);
    for (WAVEHDR& h : m_device->headers)
        ::waveOutUnprepareHeader(m_device->out, &h, sizeof h);
    ::waveOutClose(m_device->out);
    ::CloseHandle(m_device->done);
}

void WaveOutTone::Set(int hz, bool pulsed) {
    m_synth.Set(hz, pulsed);
    if (m_thread.joinable() || hz == 0 || !m_unavailable.empty())
        return;
    auto device = std::make_unique<Device>();
    device->done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = ToneSynth::kSampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = ToneSynth::kSampleRate * 2;
    const MMRESULT opened =
        ::waveOutOpen(&device->out, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(device->done),
                      0, CALLBACK_EVENT);
    if (!device->done || opened != MMSYSERR_NOERROR) {
        m_unavailable = "waveOutOpen: " + WaveOutError(opened);
        Diagnose("Quillmere: tone: " + m_unavailable);
        if (device->done)
            ::CloseHandle(device->done);
        return;
    }
    for (std::size_t i = 0; i < kBuffers; ++i) {
        device->samples[i].resize(kSamples);
        WAVEHDR& h = device->headers[i];
        h.lpData = reinterpret_cast<LPSTR>(device->samples[i].data());
        h.dwBufferLength = kSamples * 2;
        ::waveOutPrepareHeader(device->out, &h, sizeof h);
        h.dwFlags |= WHDR_DONE; // free to be filled
    }
    m_device = std::move(device);
    m_thread = std::thread([this] { Run(); });
}

void WaveOutTone::Run() {
    while (!m_stop) {
        for (std::size_t i = 0; i < kBuffers; ++i) {
            WAVEHDR& h = m_device->headers[i];
            if (!(h.dwFlags & WHDR_DONE))
                continue;
            h.dwFlags &= ~WHDR_DONE;
            m_synth.Fill(m_device->samples[i].data(), kSamples);
            const MMRESULT written = ::waveOutWrite(m_device->out, &h, sizeof h);
            if (written != MMSYSERR_NOERROR) {
                Diagnose("Quillmere: tone: waveOutWrite: " + WaveOutError(written));
                return;
            }
        }
        ::WaitForSingleObject(m_device->done, INFINITE);
    }
}
