#pragma once

// A file written whole or not at all. The text goes to a new temporary file,
// created exclusively in the same folder, which takes the file's name only
// once it is complete: a reader sees the old whole file or the new whole
// file, never a mix or a prefix. A name that exists as anything but a
// regular file (a link, a directory, a FIFO, a device, a socket) is refused
// and left as it was; nothing is ever written through it. A file that is
// replaced keeps its permissions, and its owner and group where the process
// may set them.
//
// The temporary file's name fits wherever the file's name does: it is the
// name (shortened when it must be), six random characters and the suffix.
//
// While the temporary file exists, SIGINT, SIGTERM and SIGHUP (where they
// have their default action) remove it and then end the process as they
// would have, and SIGXFSZ is ignored, so that a file-size limit makes the
// write fail instead of killing the process. Any number of such files may
// be pending at once, from any threads.

#include <ext/stdio_filebuf.h>

#include <memory>
#include <ostream>
#include <string>

namespace zor::test::safe_file {

class AtomicFile {
public:
    // `path`: the name to write. `suffix` ends the temporary file's name, for
    // readers that go by the extension.
    explicit AtomicFile(std::string path, std::string suffix = "");
    // Removes the temporary file unless it was committed.
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False, with errno set, when the name
    // exists as anything but a regular file or no file can be created.
    bool Open();
    // The temporary file's stream; valid after Open succeeded.
    std::ostream& Stream();
    // Writes out and closes the temporary file's stream: false when it did
    // not get everything that was written to Stream().
    bool Close();
    const std::string& TemporaryPath() const { return m_temporary; }
    // Gives the closed temporary file the name. Without `replace`, an
    // existing name is kept and the commit fails with errno EEXIST.
    bool Commit(bool replace);

private:
    void Discard();

    std::string m_path;
    std::string m_suffix;
    std::string m_temporary;
    int m_descriptor = -1;  // the temporary file, kept open until it is named or removed
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
    std::unique_ptr<std::ostream> m_stream;
    void* m_pending = nullptr;  // the file's entry among those an ending signal removes
};

}  // namespace zor::test::safe_file
