// A small RTF reader: the text a reader of an RTF document sees, and the
// control words it holds, for checking what a converter wrote. It reads the
// main text, headers, footers, notes and list labels; tables of fonts,
// colours, lists and styles, \info, pictures, field instructions and
// ignorable (\*) destinations give no text. Tabs and table cells read as
// '\t', paragraph, line and row ends as '\n'.
#pragma once

#include <string>
#include <vector>

struct RtfText {
    bool ok = false;                 // starts with {\rtf and its groups balance
    std::string text;                // UTF-8
    std::vector<std::string> words;  // every control word, parameter included: "b", "fs24", "u-3913"
};

RtfText rtf_text(const std::string &rtf);

// How many times a control word (with its parameter, if given) occurs.
size_t rtf_count(const RtfText &rtf, const std::string &word);
