#pragma once
// The start-up sequence: what the process does once the command line has been read.

/// Runs the sequence for the choices in startup and ends the process with its exit status.
[[noreturn]] void run_startup();

/// The cleanup every fatal exit runs: releases the loaded module.
void release_everything();
