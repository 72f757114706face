// The file of a save. Saves into one file take turns: each holds an advisory
// lock (flock) on the file from before it reads the document until its new
// version is in place, so overlapping saves from threads or processes all
// arrive. A new version reaches the file name only by the atomic rename of a
// complete temporary file written in the same folder, so readers never see a
// partial document and a failed write leaves the old file as it was.
#pragma once

#include "common/pyref.h"

#include <string>
#include <sys/stat.h>

namespace pykesta::curvetypes {

class DocumentFile {
  public:
    // Looks at `path` (a str; symbolic links are followed, as opening the file
    // would) and, when it names a regular file, waits without the interpreter
    // lock until this save holds that file's lock.
    explicit DocumentFile(PyObject* path);
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    // A regular file is there: the save reads and rewrites it.
    bool exists() const { return state_ == State::regular; }

    // Puts the document `contents` (bytes) in place of the file, keeping its
    // permission bits, or creates the file (the umask applies). Returns false,
    // having written nothing, when the file was absent and another save created
    // it meanwhile: the save then starts over. On failure the interpreter's
    // OSError names the file, which is left as it was, with no temporary file.
    bool publish(PyObject* contents);

  private:
    enum class State { absent, regular, other };

    Ref path_;           // as the caller named it, for messages
    std::string target_; // the file itself, symbolic links resolved
    State state_ = State::absent;
    struct stat found_{};
    bool writable_ = true;
    int lock_fd_ = -1;
};

} // namespace pykesta::curvetypes
