// tavrorun //debug and //trace: runs the script in a child tavrorun that this
// process debugs, and copies the child's debug output (MidiTools Print,
// PrintLN, Cls, and the controls' trace lines) to standard error as it comes.
#pragma once

#include <string>
#include <vector>

namespace tavro::host {

// Runs tavrorun itself with `args` (its options and the script with its
// arguments) as a debuggee; returns the child's exit code, 1 when it cannot
// be started. With `only`, just the debug strings that begin with it are shown.
int RunWithDebugOutput(const std::vector<std::wstring>& args, const char* only = nullptr);

} // namespace tavro::host
