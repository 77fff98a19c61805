// The ring sound of incoming calls: "RingIn.mid" from the program's folder
// (installed: its data folder, see FindRingFile) played through a software synthesizer with a General MIDI soundfont, over
// and over while the ring flag is set. Without an audio device, a soundfont
// or the file the program stays silent and logs why; nothing here blocks
// for long or throws.
//
// Also the ringtone itself: the build writes RingIn.mid with
// WriteRingtoneMidi (our own tune), and tests render it to samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvvoice {

inline constexpr const char* kRingFileName = "RingIn.mid";

// The standard MIDI file of the ringtone.
std::vector<uint8_t> RingtoneMidi();
bool WriteRingtoneMidi(const std::string& path);

// The ringtone for a program in exeDir: the first readable "RingIn.mid" next
// to a built program or in the installed data folder (<prefix>/share/korvianet,
// then /usr/share/korvianet). "" when there is none.
std::string FindRingFile(const std::string& exeDir);

// The first General MIDI soundfont found: $KORVIANET_SOUNDFONT, then the
// Debian soundfont folders. "" when none.
std::string FindSoundFont();

// Renders a MIDI file through the synthesizer into interleaved 16-bit stereo
// samples at 44100 Hz (at most maxSeconds). False when the synthesizer, the
// soundfont or the file could not be loaded.
bool RenderMidi(const std::string& midiPath, const std::string& soundFont, double maxSeconds,
                std::vector<int16_t>& samples);
// Writes samples as a 16-bit stereo 44100 Hz WAV file.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples);

class CRingSound {
public:
    CRingSound();
    ~CRingSound();
    CRingSound(const CRingSound&) = delete;
    CRingSound& operator=(const CRingSound&) = delete;

    // The folder holding RingIn.mid (default: looked for with FindRingFile).
    void SetFolder(const std::string& folder) { m_strFolder = folder; }
    // UM_RING_START: sets the ring flag and plays the sound from the start,
    // repeating. False when it cannot sound (logged); the flag stays set.
    bool Start();
    // UM_RING_STOP: clears the flag and stops the sound.
    void Stop();
    bool Ringing() const { return m_bRing; }
    bool Playing() const;

private:
    void Release();

    std::string m_strFolder;
    bool m_bRing = false;
    void* m_settings = nullptr;
    void* m_synth = nullptr;
    void* m_player = nullptr;
    void* m_driver = nullptr;
};

} // namespace kvvoice
