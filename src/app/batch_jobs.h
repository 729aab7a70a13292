#pragma once
// The one-shot jobs of the command line: the module's description, an audio export, the
// song text and the sample and instrument name lists.

/// Runs the jobs the command line asked for on the loaded module. The description (-j)
/// replaces every other job. When the description, an audio export or any of the three
/// text files was asked for, the program ends here (status 0, or 2 for a failed export or
/// description); otherwise it returns and the start-up sequence goes on.
void run_batch_jobs();
