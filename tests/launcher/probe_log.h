// The log that the probe programs append to, named by QUOR_PROBE_LOG (an environment variable
// that the launcher's children inherit from whoever started the launcher). A record is a few
// "key=value" lines ended by an empty line, beginning with "event=..."; each record is one
// write, so the records of programs running side by side never interleave.
#pragma once

#include <string>

namespace probe {

// The command line after the program name (a quoted name included), leading blanks skipped.
const char* ArgumentsOf(const char* commandLine);

// Appends "event=<event>", this process's pid and the time, then `fields` (lines "key=value"
// each ended by CR LF). Nothing happens without QUOR_PROBE_LOG.
void AppendRecord(const std::string& event, const std::string& fields = {});

// The start record's fields: cmdline, args and cwd.
std::string StartFields();

}  // namespace probe
