#pragma once
// The shell's own command actions: sound settings, moving in the song, directory,
// system commands, the settings file and leaving. Each takes the argument text of the
// line or null (an empty text counts as none).

void cmd_volume(const char *argument);
void cmd_samplerate(const char *argument);
void cmd_resampling(const char *argument);
void cmd_channels(const char *argument);
void cmd_goto(const char *argument);
void cmd_chdir(const char *argument);
[[noreturn]] void cmd_quit(const char *argument);
void cmd_noise(const char *argument);
void cmd_reverb(const char *argument);
void cmd_megabass(const char *argument);
void cmd_surround(const char *argument);
void cmd_reset(const char *argument);
void cmd_loadconfig(const char *argument);
void cmd_saveconfig(const char *argument);
void cmd_exec(const char *argument);
