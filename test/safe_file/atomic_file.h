#pragma once

// A file written whole or not at all. The text goes to a new temporary file,
// created exclusively in the same folder, which takes the file's name only
// once it is complete: a reader sees the old whole file or the new whole
// file, never a mix or a prefix. A name that exists as anything but a
// regular file (a link, a directory, a FIFO, a device, a socket) is refused
// and left as it was; nothing is ever written through it.
//
// While the temporary file exists, SIGINT, SIGTERM and SIGHUP (where they
// have their default action) remove it and then end the process as they
// would have, and SIGXFSZ is ignored, so that a file-size limit makes the
// write fail instead of killing the process. Up to kMostPending such files
// may be pending at once, from any threads.

#include <ext/stdio_filebuf.h>

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

namespace zor {
namespace safe_file {

class AtomicFile {
public:
    // How many files may be pending at once in one process; Open fails with
    // EBUSY past that.
    static constexpr std::size_t kMostPending = 64;

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
    // Writes out and closes the temporary file: false when it did not get
    // everything that was written to Stream().
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
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
    std::unique_ptr<std::ostream> m_stream;
    int m_slot = -1;  // the file's place among those an ending signal removes
};

}  // namespace safe_file
}  // namespace zor
