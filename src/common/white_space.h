// White space for every reader of words: request parameters and the
// extension lists of the list file. Codes 9 to 13 and 32; everything else,
// bytes 0x80 to 0xFF included, is a word character.
#pragma once

inline int is_word_space(int c) { return c == ' ' || (c >= 9 && c <= 13); }
