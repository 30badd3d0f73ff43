// Fields of the kernel's line-based tables (the mount table) and of the event lines that stand
// in for device events on a host: blanks separate fields, so a blank, a tab, a line end or a
// backslash inside a field is written as a backslash and three octal digits ("\040").
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Returns: field with every backslash followed by three octal digits (value 1 to 255) turned
// into that byte; any other backslash stays as it is.
std::string sys_unescape_octal(std::string_view field);

// Returns: the blank-separated (space or tab) fields of line, at most max_fields of them (the
// rest of the line is dropped); empty fields are skipped. Fields are not unescaped.
std::vector<std::string_view> sys_split_fields(std::string_view line, std::size_t max_fields);
