#pragma once
// The module the settings target renders for every input: one pattern of four rows at
// speed 1, so that a whole export decodes in well under a millisecond.

inline constexpr const char *tiny_module_text = R"(format xm
name tiny
channels 2
speed 1
tempo 125
sample square 16 8 loop lead
sample saw 16 8 bass
pattern 0 4
note 0 0 C-4 1 v48
note 1 1 C-3 2
note 2 0 G-4 1 v32
note 3 1 === -
)";
