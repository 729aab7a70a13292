#pragma once
// The one-shot jobs of the command line: an audio export, the song text and the sample
// and instrument name lists.

/// Runs the jobs the command line asked for on the loaded module. When an audio export
/// was asked for, or any of the three text files, the program ends here (status 0, or 2
/// for a failed export); otherwise it returns and the start-up sequence goes on.
void run_batch_jobs();
