// Replacing files whole. A target that is not a regular file (a device, a
// pipe) cannot be replaced by a rename and is written in place.
#include "system/file_replace.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool open_replacement(FileReplacement *r, const char *path) {
    r->path = path;
    r->temporary.clear();
    struct stat st;
    bool exists = stat(path, &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        r->file = fopen(path, "wb");
        return r->file != nullptr;
    }
    std::string tmp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    // mkstemp makes the file private; give it the mode a plain create
    // would, or the mode of the file it replaces.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~mask));
    r->file = fdopen(fd, "wb");
    if (!r->file) { close(fd); unlink(tmp.c_str()); return false; }
    r->temporary = tmp;
    return true;
}

bool commit_replacement(FileReplacement *r) {
    bool ok = ferror(r->file) == 0;
    ok = fflush(r->file) == 0 && ok;
    if (!r->temporary.empty()) ok = fsync(fileno(r->file)) == 0 && ok;
    ok = fclose(r->file) == 0 && ok;
    r->file = nullptr;
    if (r->temporary.empty()) return ok;
    if (ok) ok = rename(r->temporary.c_str(), r->path.c_str()) == 0;
    if (!ok) unlink(r->temporary.c_str());
    return ok;
}
