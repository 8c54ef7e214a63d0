// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Simulators publish the pseudo-terminals they serve so that the programs' port lists show them
// without any configuration: one symbolic link per simulator, named after it, pointing at the
// pty's slave device, in PublishedPortDirectory() (user_dirs.h), which is created 0700 when
// missing and refused when it is not a private directory of this user. Each link is guarded
// by a lock on the hidden file ".<name>.lock" beside it, held while its simulator runs, so that
// a second simulator cannot take a name in use and a link left behind by a killed one is
// replaced. The programs' port lists skip hidden entries and dangling links.
class PortPublication {
  public:
    PortPublication() = default;
    ~PortPublication();
    PortPublication(const PortPublication&) = delete;
    PortPublication& operator=(const PortPublication&) = delete;

    // Creates the directory when missing, checks it, takes the name's lock and points the link
    // at target (replacing a link left behind). On failure error says why.
    bool Publish(const std::string& name, const std::string& target, std::string& error);
    // Removes the link (if it still points at this target) and releases the name.
    void Withdraw();
    // The link's path; empty while nothing is published.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string target_;
    int lockFd_ = -1;
};
