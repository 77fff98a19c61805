// The ring sound through libfluidsynth.
#include "voice/RingSound.h"

#include "log/DebugLog.h"
#include "settings/DataDir.h"

#include <fluidsynth.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <unistd.h>

namespace kvvoice {

namespace {

// The synthesizer's output gain: loud enough to be heard across a room.
constexpr double kRingGain = 0.8;

void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int s = 24; s >= 0; s -= 8)
        v.push_back(uint8_t(x >> s));
}
void Put16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}
void PutVar(std::vector<uint8_t>& v, uint32_t x)
{
    uint8_t buf[4];
    int n = 0;
    buf[n++] = uint8_t(x & 0x7F);
    while ((x >>= 7) != 0)
        buf[n++] = uint8_t(0x80 | (x & 0x7F));
    while (n > 0)
        v.push_back(buf[--n]);
}

bool FileExists(const std::string& p) { return !p.empty() && access(p.c_str(), R_OK) == 0; }

std::string ProgramFolder()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string p(buf, size_t(n));
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

// The synthesizer's own messages go to our log, not to the terminal.
void FluidLog(int level, const char* message, void*)
{
    DEBUG_LOG(LEVEL_ST, "synth(%d): %s", level, message ? message : "");
}

void QuietSynth()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, FluidLog, nullptr);
    });
}

} // namespace

std::vector<uint8_t> RingtoneMidi()
{
    // Two bars of a bright marimba figure and a short rest: 480 ticks a
    // quarter note at 132 beats a minute.
    constexpr uint16_t kDivision = 480;
    constexpr uint8_t kNotes[] = {76, 79, 84, 79, 76, 79, 84, 88, 0, 76, 79, 84, 79, 88, 84, 0};
    std::vector<uint8_t> track;
    PutVar(track, 0); // tempo
    track.insert(track.end(), {0xFF, 0x51, 0x03});
    const uint32_t usPerQuarter = 60000000u / 132u;
    track.push_back(uint8_t(usPerQuarter >> 16));
    track.push_back(uint8_t(usPerQuarter >> 8));
    track.push_back(uint8_t(usPerQuarter));
    PutVar(track, 0); // marimba on channel 1
    track.insert(track.end(), {0xC0, 12});
    PutVar(track, 0);
    track.insert(track.end(), {0xB0, 7, 110}); // channel volume
    uint32_t pending = 0;
    for (uint8_t note : kNotes) {
        const uint32_t step = kDivision / 2; // eighth notes
        if (note == 0) {
            pending += step;
            continue;
        }
        PutVar(track, pending);
        track.insert(track.end(), {0x90, note, 112});
        PutVar(track, step - 20);
        track.insert(track.end(), {0x80, note, 0});
        pending = 20;
    }
    PutVar(track, pending + kDivision); // a beat of rest before the ring repeats
    track.insert(track.end(), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
    Put32(file, 6);
    Put16(file, 0); // one track
    Put16(file, 1);
    Put16(file, kDivision);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Put32(file, uint32_t(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

bool WriteRingtoneMidi(const std::string& path)
{
    const std::vector<uint8_t> bytes = RingtoneMidi();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::string FindRingFile(const std::string& exeDir)
{
    for (const std::string& p : kv::SharedFileCandidatesFor(exeDir, kRingFileName))
        if (FileExists(p))
            return p;
    return {};
}

std::string FindSoundFont()
{
    if (const char* env = std::getenv("KORVIANET_SOUNDFONT"))
        return FileExists(env) ? env : std::string();
    for (const char* p : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                          "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"})
        if (FileExists(p))
            return p;
    return {};
}

bool RenderMidi(const std::string& midiPath, const std::string& soundFont, double maxSeconds,
                std::vector<int16_t>& samples)
{
    QuietSynth();
    samples.clear();
    if (!FileExists(midiPath) || !FileExists(soundFont))
        return false;
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings)
        return false;
    fluid_settings_setnum(settings, "synth.sample-rate", 44100.0);
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setnum(settings, "synth.gain", kRingGain);
    fluid_synth_t* synth = new_fluid_synth(settings);
    bool ok = synth && fluid_synth_sfload(synth, soundFont.c_str(), 1) != FLUID_FAILED;
    fluid_player_t* player = ok ? new_fluid_player(synth) : nullptr;
    ok = ok && player && fluid_player_add(player, midiPath.c_str()) == FLUID_OK
        && fluid_player_play(player) == FLUID_OK;
    if (ok) {
        constexpr int kBlock = 512;
        const size_t maxFrames = size_t(maxSeconds * 44100.0);
        std::vector<int16_t> block(kBlock * 2);
        while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && samples.size() / 2 < maxFrames) {
            if (fluid_synth_write_s16(synth, kBlock, block.data(), 0, 2, block.data(), 1, 2) != FLUID_OK) {
                ok = false;
                break;
            }
            samples.insert(samples.end(), block.begin(), block.end());
        }
    }
    if (player) {
        fluid_player_stop(player);
        delete_fluid_player(player);
    }
    if (synth)
        delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return ok && !samples.empty();
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> h;
    auto le32 = [&h](uint32_t x) {
        for (int i = 0; i < 4; ++i)
            h.push_back(uint8_t(x >> (8 * i)));
    };
    auto le16 = [&h](uint16_t x) {
        h.push_back(uint8_t(x));
        h.push_back(uint8_t(x >> 8));
    };
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    le32(36 + dataBytes);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le32(16);
    le16(1);
    le16(2);
    le32(44100);
    le32(44100 * 4);
    le16(4);
    le16(16);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    le32(dataBytes);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(h.data()), std::streamsize(h.size()));
    for (int16_t s : samples) {
        const char b[2] = {char(uint16_t(s) & 0xFF), char(uint16_t(s) >> 8)};
        out.write(b, 2);
    }
    return bool(out);
}

CRingSound::CRingSound() = default;

CRingSound::~CRingSound() { Release(); }

void CRingSound::Release()
{
    if (m_driver)
        delete_fluid_audio_driver(static_cast<fluid_audio_driver_t*>(m_driver));
    if (m_player) {
        fluid_player_stop(static_cast<fluid_player_t*>(m_player));
        delete_fluid_player(static_cast<fluid_player_t*>(m_player));
    }
    if (m_synth)
        delete_fluid_synth(static_cast<fluid_synth_t*>(m_synth));
    if (m_settings)
        delete_fluid_settings(static_cast<fluid_settings_t*>(m_settings));
    m_driver = m_player = m_synth = m_settings = nullptr;
}

bool CRingSound::Start()
{
    QuietSynth();
    m_bRing = true;
    Release(); // a playing sound starts again from the beginning
    const std::string midi =
        m_strFolder.empty() ? FindRingFile(ProgramFolder()) : m_strFolder + "/" + kRingFileName;
    if (!FileExists(midi)) {
        DEBUG_LOG(LEVEL_ST, "ring sound: %s is missing",
                  m_strFolder.empty() ? kRingFileName : midi.c_str());
        return false;
    }
    const std::string font = FindSoundFont();
    if (font.empty()) {
        DEBUG_LOG(LEVEL_ST, "ring sound: no General MIDI soundfont found");
        return false;
    }
    auto* settings = new_fluid_settings();
    m_settings = settings;
    if (settings)
        fluid_settings_setnum(settings, "synth.gain", kRingGain);
    auto* synth = settings ? new_fluid_synth(settings) : nullptr;
    m_synth = synth;
    if (!synth || fluid_synth_sfload(synth, font.c_str(), 1) == FLUID_FAILED) {
        DEBUG_LOG(LEVEL_ST, "ring sound: the soundfont %s did not load", font.c_str());
        Release();
        return false;
    }
    auto* player = new_fluid_player(synth);
    m_player = player;
    if (!player || fluid_player_add(player, midi.c_str()) != FLUID_OK) {
        DEBUG_LOG(LEVEL_ST, "ring sound: %s is not a MIDI file", midi.c_str());
        Release();
        return false;
    }
    fluid_player_set_loop(player, -1); // again and again while the ring flag is set
    m_driver = new_fluid_audio_driver(settings, synth);
    if (!m_driver) {
        DEBUG_LOG(LEVEL_ST, "ring sound: no audio device");
        Release();
        return false;
    }
    fluid_player_play(player);
    return true;
}

void CRingSound::Stop()
{
    m_bRing = false;
    Release();
}

bool CRingSound::Playing() const
{
    return m_player && m_driver
        && fluid_player_get_status(static_cast<fluid_player_t*>(m_player)) == FLUID_PLAYER_PLAYING;
}

} // namespace kvvoice
