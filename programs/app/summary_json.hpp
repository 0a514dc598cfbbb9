// The one JSON form of a file's summary: what `mthc-pack -l --json` prints
// for each file, what the page reads, and what the Python module returns.
#pragma once

#include <mthc/summarize_file.hpp>
#include <string>
#include <string_view>

namespace mthc::app {

// One JSON object on one line, without a newline, of a summary without
// error made with its music: "file" (when `file_name` is given), "type",
// "blocks" and "packed_bytes" (containers), "midi_bytes", "format",
// "division" (and for SMPTE time "frames_per_second" and "ticks_per_frame"),
// "track_count", "end_tick", "duration_seconds" and "tracks", each with
// "index", "name", "channels", "programs", "notes", "events", "bytes",
// "end_tick" and "fault" (null, or its "text" and "offset"). Every string is
// well-formed UTF-8. Names are lossless (see append_json_name): a file name
// that is not UTF-8 is followed by "file_escaped": true, a track's name by
// "name_escaped": true. Throws std::bad_alloc.
std::string summary_json(const file_summary& summary, const std::string_view* file_name);

}  // namespace mthc::app
