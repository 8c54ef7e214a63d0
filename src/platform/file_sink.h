// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <string_view>

// A file opened for writing, as the measurement log needs it: bytes appended, pushed to the
// operating system after each row so that a crash loses nothing that was written.
class FileSink {
  public:
    virtual ~FileSink() = default;
    // Appends the bytes; false when they could not all be written (disk full, file removed,
    // I/O error). A failed write leaves the file as it was before it, so that the same bytes
    // can be written again later without a torn row in between.
    virtual bool Write(std::string_view bytes) = 0;
    // Hands everything written so far to the operating system; false on failure.
    virtual bool Flush() = 0;
    // True when the file is no longer reachable under its name (removed while open, or its
    // folder gone with a pulled-out stick): what is written to it would be lost with it.
    virtual bool Removed() { return false; }
};

// Creates files; an existing file of the same name is emptied.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Null when the file cannot be created.
    virtual std::unique_ptr<FileSink> Create(const std::string& path) = 0;
    // An existing file, its writes appended to what it holds; null when there is none (or it
    // cannot be opened).
    virtual std::unique_ptr<FileSink> OpenForAppend(const std::string& path) = 0;
};

// The standard library's files (std::FILE, binary mode: line ends are written as given),
// unbuffered, so that every write reaches the operating system at once; a write that fails
// part way is cut off again, and a file that its name no longer leads to (removed, or its
// folder gone) refuses writes.
class StdFileSystem : public FileSystem {
  public:
    std::unique_ptr<FileSink> Create(const std::string& path) override;
    std::unique_ptr<FileSink> OpenForAppend(const std::string& path) override;
};
