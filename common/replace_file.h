#pragma once
// Replaces a file's content as one step: the bytes go to a new file in the
// same folder, reach the disk, and only then take the old file's name. A
// full disk, a crash or a refused write so never leaves a half-written
// file: readers see either the old content or the new one.
#include <string>
#include <string_view>

// 0, or -1 with `error_text` naming the file and the system's reason
// ("Cannot write Quorvelin.ini: Permission denied"); the old file is then
// untouched. A name that is a symbolic link replaces the file it points
// to, and the new file keeps the old one's permission bits.
int ReplaceFileContent(const std::string& file_name, std::string_view bytes,
                       std::string& error_text);
