#include "common/file_owner_rights.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// Root without this right (a container may drop it) cannot give files
// away either, so the right is asked for, not the user id.
bool HoldsRightToChangeOwners() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  return (data[0].effective & (1u << CAP_CHOWN)) != 0;
}

bool IsMemberOf(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int listed = ::getgroups(count, groups.data());
  return listed > 0 && std::find(groups.begin(), groups.begin() + listed, group) !=
                           groups.begin() + listed;
}

}  // namespace

bool MayGiveNewFileTo(uid_t owner, gid_t group) {
  if (HoldsRightToChangeOwners()) return true;
  return owner == ::geteuid() && IsMemberOf(group);
}
