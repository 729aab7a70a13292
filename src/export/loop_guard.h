#pragma once
// Keeps an export from rendering a song that never ends.

/// 1 when loop_count asks for an endless loop, after reporting
/// "CAN'T export an endless loop\n" through log_error; 0 otherwise.
int export_loop_is_endless();
