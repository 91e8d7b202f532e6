/// Opening, testing and removing files by their UTF-8 names, for the XML
/// library and every layer above it: the C runtime's byte-string calls on
/// POSIX, the wide calls on Windows, whose byte-string calls read a name in the
/// ANSI code page and so reach some other file, or none, for every character
/// outside it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// fopen with a UTF-8 path; null when path is null or the file cannot be opened.
// POSIX: a mode that writes never follows a symbolic link at path and never
// waits at a pipe that nobody reads, and truncates only a regular file.
std::FILE* OpenNamedFile(const char* path, const char* mode);

// The file opened for binary reading, kept only when it is a regular file: a
// directory, a device or a pipe that bears the name is reported as not there,
// as Windows reports a directory. Null when path is null.
std::FILE* OpenNamedFileForReading(const char* path);

// Removes the file (remove()); false when it could not be removed.
bool RemoveNamedFile(const char* path);

// True when the path names a regular file (not a directory or a device).
bool IsRegularNamedFile(const char* path);

// What stands at a path that a run is about to replace or remove: nothing, a
// regular file, or something else: a directory, a device, a pipe, a socket, or
// a link (the link itself is judged, never what it points to; on Windows any
// reparse point). Only nothing or a regular file may be replaced.
enum class NamedFileStanding { kAbsent, kRegularFile, kSomethingElse };
NamedFileStanding StandingOfNamedFile(const char* path);

// The std::filesystem path of a UTF-8 name, and back. A path made from a plain
// std::string reads it in the runtime's narrow encoding, which on Windows is
// not UTF-8.
inline std::filesystem::path PathOfUtf8(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}
inline std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
