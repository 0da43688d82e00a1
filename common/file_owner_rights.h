#pragma once
// Whether a file this process creates can be made to belong to a given
// owner and group. The kernel lets a process with the right to change
// owners give a file to anyone; any other process only gives its own files
// to a group it is a member of, and never to another user.
#include <sys/types.h>

bool MayGiveNewFileTo(uid_t owner, gid_t group);
