#pragma once

#include <memory>
#include <string>
#include <string_view>

// A file opened for writing, as the measurement log needs it: bytes appended, pushed to the
// operating system after each row so that a crash loses nothing that was written.
class FileSink {
  public:
    virtual ~FileSink() = default;
    // Appends the bytes; false when the write failed (disk full, file removed, I/O error).
    virtual bool Write(std::string_view bytes) = 0;
    // Hands everything written so far to the operating system; false on failure.
    virtual bool Flush() = 0;
};

// Creates files; an existing file of the same name is emptied.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Null when the file cannot be created.
    virtual std::unique_ptr<FileSink> Create(const std::string& path) = 0;
};

// The standard library's files (std::FILE, binary mode: line ends are written as given).
class StdFileSystem : public FileSystem {
  public:
    std::unique_ptr<FileSink> Create(const std::string& path) override;
};
