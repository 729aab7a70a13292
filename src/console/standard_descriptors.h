#pragma once
// Standard input, output and error as the program relies on them.

/// Opens /dev/null in place of each of descriptors 0, 1 and 2 that is closed, so that no
/// file the program opens later takes their numbers (a list file becoming "the screen",
/// an audio file receiving the messages). Called first thing at start-up. Returns 1 when
/// all three are open afterwards.
int open_missing_standard_descriptors();
