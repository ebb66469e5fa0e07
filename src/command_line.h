// Splitting of the process's command line into arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelto {

// The arguments of a command line, without the program's own name. U+0001 to U+0020 separate
// arguments; a double quote opens a stretch, up to the next double quote or the end, in which
// separators are ordinary characters; quotes are dropped and never part of an argument; empty
// quoted pairs between arguments count for nothing; there is no escape character. U+0000 ends
// the text.
std::vector<std::u16string> SplitCommandLine(std::u16string_view ACommandLine);

// The argument at a position counted from 1, or the empty text beyond the last one.
std::u16string_view ArgumentAt(const std::vector<std::u16string>& AArguments,
                               std::size_t APosition) noexcept;

}  // namespace kelto
