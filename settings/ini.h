// In-memory INI object and its file text: ordered sections of ordered items,
// each item a tag and a value text that is quoted (a string) or not (a number).
//
// File text written: "[name]" line, one "tag = value" line per item, an empty
// line after every section, CR LF after every line. Strings are quoted and
// escaped; a value longer than kIniMaxPiece characters (after escaping) is
// split into items "tag Line0001", "tag Line0002", ... that the reader joins.
//
// Lookups of sections and tags ignore ASCII letter case. Reading a line longer
// than kIniMaxLine characters discards the whole line (it is ignored like any
// other malformed line) and parsing goes on with the next line.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Results. Getters: 1 found and converted, 0 missing, negative on error.
// Put, read and write: kIniOk or negative.
inline constexpr int kIniOk = 0;
inline constexpr int kIniErrArgument = -1; // null object/path/buffer or an unusable name
inline constexpr int kIniErrNoMemory = -2;
inline constexpr int kIniErrNotFound = -3; // file or folder missing
inline constexpr int kIniErrOpen = -4; // file cannot be opened (permissions, ...)
inline constexpr int kIniErrNotFile = -5; // a folder, device or pipe instead of a file
inline constexpr int kIniErrRead = -6;
inline constexpr int kIniErrBinary = -7; // NUL bytes: not a text file
inline constexpr int kIniErrTooLarge = -8;
inline constexpr int kIniErrReadOnly = -9; // the target exists and may not be written
inline constexpr int kIniErrWrite = -10; // creating, writing or syncing the temporary file
inline constexpr int kIniErrRename = -11; // replacing the target
inline constexpr int kIniErrConvert = -12; // value text is not a number of that kind

inline constexpr std::size_t kIniMaxLine = 255; // characters per line read, line end excluded
inline constexpr std::size_t kIniMaxPiece = 80; // value characters per written line
inline constexpr std::size_t kIniMaxName = 128; // section name or tag; keeps written lines readable
inline constexpr std::size_t kIniMaxFileSize = 16u << 20;
inline constexpr char kIniTempPrefix[] = "ini$$";
inline constexpr char kIniTempSuffix[] = ".TMP";

struct IniObject;
struct IniObjectDeleter {
    void operator()(IniObject* ini) const noexcept;
};
using IniText = std::unique_ptr<IniObject, IniObjectDeleter>;

// Null when memory runs out. With auto_sort on, new sections and items are
// placed in name order instead of creation order.
IniText ini_new(bool auto_sort);
void ini_dispose(IniText& ini);

int ini_section_exists(const IniObject* ini, std::string_view section);
int ini_item_exists(const IniObject* ini, std::string_view section, std::string_view tag);
// 1 removed, 0 missing. The section stays, even when it becomes empty.
int ini_remove_item(IniObject* ini, std::string_view section, std::string_view tag);

// Put creates the section and the item as needed; an existing item keeps its
// place and gets the new value. A name must be 1..kIniMaxName characters,
// without line ends, leading or trailing blanks; a tag also without "=" and
// not starting with "[" or ";".
int ini_put_int(IniObject* ini, std::string_view section, std::string_view tag, long value);
int ini_put_uint(IniObject* ini, std::string_view section, std::string_view tag, unsigned long value);
int ini_put_double(IniObject* ini, std::string_view section, std::string_view tag, double value);
int ini_put_string(IniObject* ini, std::string_view section, std::string_view tag, std::string_view value);

int ini_get_int(const IniObject* ini, std::string_view section, std::string_view tag, long* value);
int ini_get_uint(const IniObject* ini, std::string_view section, std::string_view tag,
    unsigned long* value);
// Accepts decimal and exponent forms and "Inf", "+Inf", "-Inf" in any letter case.
int ini_get_double(const IniObject* ini, std::string_view section, std::string_view tag, double* value);
// Copies at most size - 1 characters and an end mark; *truncated (if given)
// tells whether the text had to be cut. An unquoted value is returned as it is.
int ini_get_string_into_buffer(const IniObject* ini, std::string_view section, std::string_view tag,
    char* buffer, std::size_t size, bool* truncated = nullptr);
int ini_get_string(const IniObject* ini, std::string_view section, std::string_view tag,
    std::string* value);

// Names in object order (for inspection and tests).
std::vector<std::string> ini_section_names(const IniObject* ini);
std::vector<std::string> ini_item_tags(const IniObject* ini, std::string_view section);
// 1 when the item holds a quoted string, 0 when it holds bare text or is missing.
int ini_item_is_quoted(const IniObject* ini, std::string_view section, std::string_view tag);

// The file text of the object.
std::string ini_to_text(const IniObject* ini);
// Adds the sections and items of the text to the object (an item already
// present takes the value read). Fails without changing the object when the
// text holds a NUL byte.
int ini_read_from_text(IniObject* ini, std::string_view text);
// Reads a regular file of at most max_bytes (a pipe or device is refused
// without waiting on it).
int ini_read_from_file(IniObject* ini, const char* path, std::size_t max_bytes = kIniMaxFileSize);

// Writes through a temporary file "ini$$??????.TMP" in the target's folder that
// replaces the target in one rename, so the target is always either the old or
// the new file. A target that exists and is read-only (no write permission,
// no write bit at all, immutable, read-only mount) fails with kIniErrReadOnly
// and nothing is written. A failed save leaves no temporary file behind.
int ini_write_to_file(const IniObject* ini, const char* path);

// Removes temporary files of saves whose process died (a save holds a lock on
// its temporary file until it is renamed). Every save runs it on its folder.
// Returns the number removed, or negative when the folder cannot be read.
int ini_cleanup_temp_files(const char* folder);
