#pragma once
// Work a test does in a forked copy of itself, so that what the work
// changes about the process (rights dropped to another user's, namespaces
// of its own) ends with the copy. The work runs outside the test's sight:
// it reports in the text it returns, and must not use test assertions.
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

// Runs `work` in a forked child and returns the text it returned, or a
// text saying how the child ended when it did not get to answer.
std::string InForkedChild(const std::function<std::string()>& work);

// A user to act as.
struct UserIds {
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;  // the supplementary groups
};

// Makes this process `user` for good, with no right beyond that user's:
// "" or the call that failed. For a forked child only.
std::string BecomeUser(const UserIds& user);
