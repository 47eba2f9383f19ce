// Text and path conversions at the Win32 edge: UTF-8 inside dvbatch, UTF-16
// for the file functions, always through "\\?\" so any length works.
#pragma once

#include <windows.h>

#include <string>

std::wstring utf8_to_wide(const std::string &text);
std::string wide_to_utf8(const std::wstring &text);
std::string ansi_to_utf8(const std::string &text);

// The full path (against the current directory), with "\\?\" (or
// "\\?\UNC\") in front; "" when it cannot be formed.
std::wstring long_path(const std::wstring &path);
// The path without its "\\?\" prefix, for messages and for docvane.
std::wstring plain_path(const std::wstring &long_form);

// Joins a folder and a relative path with '/' between folders.
std::wstring join_path(const std::wstring &folder, const std::string &relative_utf8);

// Creates the folder and the ones above it; true when it exists afterwards.
bool make_folders(const std::wstring &long_form);

// Whether the path is an existing folder / file.
bool is_folder(const std::wstring &long_form);
bool is_file(const std::wstring &long_form);

// Whether inner is outer or lies under it (case-insensitive full paths).
bool same_or_inside(const std::wstring &inner, const std::wstring &outer);

// Removes a folder and everything under it; links are removed, not followed.
void remove_tree(const std::wstring &long_form);
