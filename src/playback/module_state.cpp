#include "playback/module_state.h"

char *module_path = nullptr;
int module_path_owned = 0;
ModPlugFile *loaded_module = nullptr;
uint32_t start_order = 0;
int32_t stop_order = -1;
