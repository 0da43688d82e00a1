#pragma once
// Replaces a file's content as one step where the folder allows it: the
// bytes go to a new file in the same folder, reach the disk, and only then
// take the old file's name. A full disk, a crash or a refused write so
// never leaves a half-written file: readers see either the old content or
// the new one.
//
// What the old file was stays what it was:
// - a file this process may not write is not replaced, even where the
//   folder would let a new file take its name;
// - the new file keeps the old one's permission bits, owner and group,
//   and carries no ACL or other extended attribute: none that its folder
//   gives new files (a default ACL) stays on it;
// - where a new file cannot stand in for the old one, a file this process
//   may write is written in place instead (its old bytes are read first,
//   from the file about to be written, to be put back on a failure
//   part-way that changed it; a file whose bytes cannot be read, or whose
//   name leads to another file by then, is not written; the bytes reach
//   the disk before it returns, but a write killed part-way may leave old
//   and new bytes mixed): in a folder that refuses new files or the move
//   of a name, where a file is mounted on the name (usual for a file
//   handed into a container) or the name may not move across file
//   systems, where this process cannot give a new file the old one's
//   owner and group or take off what its folder gave it, and where the
//   old file carries what a new one would not: an ACL or any other
//   extended attribute, or a second hard link;
// - a name that is a symbolic link (or a chain of them) writes the file
//   it points to; the link stays a link;
// - a name that leads to anything but a regular file (a FIFO, a device,
//   a socket, a folder) is refused at once, with nothing written and
//   without waiting on it ("Cannot write <name>: not a regular file").
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include <sys/xattr.h>
#include <unistd.h>

#include "common/file_attributes.h"

// The steps whose effect a test cannot see on a file system at work:
// whether a file's bytes were sent to the disk (before its name moved), the
// move of a name, which the kernel refuses for reasons a test cannot always
// set up, and the list of a file's extended attributes, which a file system
// without them refuses. The program uses the system's own.
struct FileReplaceSteps {
  std::function<int(int fd)> sync_to_disk = ::fsync;
  std::function<int(const char* from, const char* to)> rename = ::rename;
  ListAttributes list_attributes = ::flistxattr;
};

// 0, or -1 with `error_text` naming the file and the reason ("Cannot
// write Quorvelin.ini: Permission denied"); the old file is then as it
// was, unless the text ends "the file may be incomplete": an in-place
// write changed the file before it failed, and putting the old bytes back
// failed too.
int ReplaceFileContent(const std::string& file_name, std::string_view bytes,
                       std::string& error_text,
                       const FileReplaceSteps& steps = {});
