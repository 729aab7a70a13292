#pragma once
// What Tab completes in an answer typed through the line editor: the command word of a
// shell line from the shell's words, and file names after it or in a whole answer.

#include <cstddef>

/// The words Tab offers at the start of a command line: word(0), word(1), ... up to the
/// first null.
using completion_words = const char *(*)(size_t index);

/// The completions of text, the part of an answer before the cursor. words null: the whole
/// text is a file name. Otherwise text is a shell line: without a blank it is a command
/// word completed from words; after the command word and its blanks the rest is a file
/// name, taken whole, blanks included, since the shell hands the argument over unsplit;
/// a line that starts with a blank completes nothing.
///
/// Returns a newly allocated array ended by null; it and each text in it are malloc'd and
/// belong to the caller (the form libedit's completion takes and frees):
/// - [0]: the text that replaces text: what every match shares; after the only match
///   also "/" for a directory, else a blank in a shell line (nothing in a file name);
/// - [1], ...: the matches as the list on a second Tab shows them, sorted: file names
///   without their directory, directories with a "/"; none when there is only one match.
/// Null when nothing matches or memory runs out. Names beginning with '.' match only a
/// name that begins with '.'; "." and ".." never.
char **complete_answer(const char *text, completion_words words);

/// Frees an array from complete_answer (null is fine).
void free_completions(char **list);
