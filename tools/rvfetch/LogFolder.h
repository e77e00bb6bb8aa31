#pragma once

#include <string>

namespace rvfetch {

// rvfetch's own folder for the library's log records: $XDG_STATE_HOME/rvfetch, or
// ~/.local/state/rvfetch when XDG_STATE_HOME is unset or not an absolute path. Empty
// when no home folder is known either.
std::string StateLogFolder();

// Names rvfetch's folder in RVUTIL_LOG_DIR for the library's probe, unless the variable is
// set already, so that an installed rvfetch never writes beside itself (/usr/bin/Log).
// Returns the folder in force; empty when the records stay on standard error.
std::string ChooseLogFolder();

}  // namespace rvfetch
