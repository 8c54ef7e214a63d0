// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Where the programs keep what belongs to the user, after the XDG base directory rules.

// The settings file shared by both programs: $XDG_CONFIG_HOME/corvanta/settings.ini, or
// ~/.config/corvanta/settings.ini. Empty when no home directory is known.
std::string UserSettingsPath();

// The folder in which the transducer simulator publishes its ports, one entry per port:
// $XDG_RUNTIME_DIR/transducer-sim, or /tmp/transducer-sim-<uid> without a runtime directory.
std::string PublishedPortDirectory();

// Whether path is a directory owned by this user that nobody else may write to, so that what
// it holds was put there by this user's own programs.
bool IsPrivateDirectory(const std::string& path);
