// The ringtone the build writes, rendered through the same synthesizer the
// ring sound plays it with; and a ring that cannot sound stays harmless.
#include "voice/RingSound.h"

#include "support/TempSettings.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kvvoice;

TEST(RingSound, RingtoneRendersToAudibleSound)
{
    const std::string font = FindSoundFont();
    if (font.empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (timgm6mb-soundfont)";
    // The file the build shipped is the one the code writes.
    EXPECT_EQ(kvtest::ReadFileBytes(KORVIA_RING_MID),
              std::string(reinterpret_cast<const char*>(RingtoneMidi().data()), RingtoneMidi().size()));
    std::vector<int16_t> samples;
    ASSERT_TRUE(RenderMidi(KORVIA_RING_MID, font, 10.0, samples));
    const double seconds = double(samples.size() / 2) / 44100.0;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 10.0);
    double sum = 0;
    int peak = 0;
    for (int16_t s : samples) {
        sum += double(s) * s;
        peak = std::max(peak, std::abs(int(s)));
    }
    const double rms = std::sqrt(sum / double(samples.size()));
    std::printf("RingIn.mid: %.2f s, rms %.0f, peak %d (%s)\n", seconds, rms, peak, font.c_str());
    RecordProperty("ring_rms", int(rms));
    EXPECT_GT(rms, 500.0);
    EXPECT_GT(peak, 4000);

    const std::string dir = kvtest::MakeTempDir("kvring");
    ASSERT_TRUE(WriteWav(dir + "/RingIn.wav", samples));
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/RingIn.wav").size(), 44 + samples.size() * 2);
    kvtest::RemoveTree(dir);
}

TEST(RingSound, MissingFileSoundFontOrDeviceNeverFails)
{
    const std::string dir = kvtest::MakeTempDir("kvring");
    CRingSound ring;
    ring.SetFolder(dir); // no RingIn.mid here
    EXPECT_FALSE(ring.Start());
    EXPECT_TRUE(ring.Ringing());
    EXPECT_FALSE(ring.Playing());
    ring.Stop();
    EXPECT_FALSE(ring.Ringing());

    // Not a MIDI file.
    kvtest::WriteFileBytes(dir + "/RingIn.mid", "not midi");
    EXPECT_FALSE(ring.Start());
    ring.Stop();

    // The real file: sounds where a device exists, else reports it; stop
    // and start again in either case.
    kvtest::WriteFileBytes(dir + "/RingIn.mid", kvtest::ReadFileBytes(KORVIA_RING_MID));
    setenv("KORVIANET_SOUNDFONT", (dir + "/none.sf2").c_str(), 1);
    EXPECT_FALSE(ring.Start()); // no soundfont
    unsetenv("KORVIANET_SOUNDFONT");
    ring.Start();
    ring.Start();
    ring.Stop();
    EXPECT_FALSE(ring.Playing());
    kvtest::RemoveTree(dir);
}

// A built program finds the ringtone beside it; an installed one in its
// prefix's data folder, not in its bin folder.
TEST(RingSound, TheRingtoneIsFoundBesideABuiltProgramAndInTheInstalledDataFolder)
{
    const std::string root = kvtest::MakeTempDir("kvringprefix");
    const std::string bin = root + "/bin";
    const std::string shared = root + "/share/korvianet";
    const std::string tone = kvtest::ReadFileBytes(KORVIA_RING_MID);
    std::filesystem::create_directories(bin);
    kvtest::WriteFileBytes(bin + "/RingIn.mid", tone);
    EXPECT_EQ(FindRingFile(bin), bin + "/RingIn.mid");
    std::filesystem::create_directories(shared);
    kvtest::WriteFileBytes(shared + "/RingIn.mid", tone);
    EXPECT_EQ(FindRingFile(bin), shared + "/RingIn.mid");
    kvtest::RemoveTree(root);
}
