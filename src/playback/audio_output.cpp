#include "playback/audio_output.h"

const char *driver_name = nullptr;
