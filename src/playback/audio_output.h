#pragma once
// The live audio output.

/// libao short name of the driver chosen on the command line; null for libao's default.
extern const char *driver_name;
