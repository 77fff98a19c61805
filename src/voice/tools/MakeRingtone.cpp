// Build step: writes the ringtone (RingIn.mid) to the path given.
#include "voice/RingSound.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kv_make_ringtone OUTPUT.mid\n");
        return 2;
    }
    return kvvoice::WriteRingtoneMidi(argv[1]) ? 0 : 1;
}
