// Whole-file reads and saves for every file the tool reads or writes on the
// user's behalf (profiles, data files, calibration files, device.cfg, the port
// map).  A read never waits on a pipe or a device: only a regular file is
// read.  A save writes a temporary file in the target's folder, syncs it and
// renames it over the target, so the target is always either the old or the
// new complete file; the temporary file holds a lock while its save lives, so
// the next save in that folder removes those a crash left behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace safe_file {

enum class Status {
    Ok,
    Argument, // no path
    NotFound, // the file or its folder does not exist
    Open, // it cannot be opened (permissions, ...)
    NotFile, // a folder, pipe or device instead of a regular file
    Read,
    TooLarge,
    NoMemory,
    ReadOnly, // the target exists and may not be replaced
    Write, // creating, writing or syncing the temporary file
    Rename, // putting it in place of the target
};

struct Result {
    Status status = Status::Ok;
    int error = 0; // errno of the call that failed, 0 where none applies
    bool ok() const { return status == Status::Ok; }
};

// Why, as the end of a sentence: "it is not a regular file", "No space left on device".
std::string describe(const Result& result);

// The whole of a regular file of at most maxBytes into text.
Result read(const std::string& path, std::size_t maxBytes, std::string& text);

// How the temporary files of a save are named: prefix, six random characters,
// suffix.  An empty prefix means "." + the target's file name + ".", and an
// empty suffix ".tmp".
struct TempName {
    std::string_view prefix;
    std::string_view suffix;
};

// Replaces the file at path (or the file a symbolic link there points to) by
// text, keeping an existing file's permissions.  A target that exists and is
// read-only, or is not a regular file, is left alone.  Temporary files of
// earlier saves of the same name whose process died are removed first.
Result save(const std::string& path, std::string_view text, const TempName& temp = {});

// Removes the temporary files named as temp (for target, when temp.prefix is
// empty) in folder whose save no longer runs.  The number removed, or -1 when
// the folder cannot be read.
int cleanup(const std::string& folder, const TempName& temp, const std::string& target = {});

} // namespace safe_file
